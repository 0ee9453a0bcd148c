// An in-memory picker that a test scripts: which items the user chooses (their types and the
// files they hand over), cancelling or closing the window, and the order and concurrency in which
// the loads answer. Everything the session is told arrives as the real picker would deliver it:
// the answer on the thread running the event loop, the loads on threads of their own.
#pragma once

#include "platform/picker.hpp"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace plenk {

// A registry of type identifiers with their extensions and parents; it starts with the common
// image, movie and document types and a test may add its own.
class MemoryFileTypes final : public FileTypes {
public:
  MemoryFileTypes();
  // Registers (or replaces) a type. Not for use while other threads read the registry.
  void add(const std::string& identifier, std::optional<std::string> extension,
           std::vector<std::string> parents);

  std::optional<FileType> type(const std::string& identifier) override;
  bool conforms(const FileType& type, const FileType& to) override;
  FileType movie() override;
  FileType image() override;
  FileType jpeg() override;

private:
  struct Entry {
    std::optional<std::string> extension;
    std::vector<std::string> parents;
  };
  bool conformsId(const std::string& from, const std::string& to, int depth) const;
  std::map<std::string, Entry> table;
};

// One item the user chooses.
struct MemoryPickItem {
  // The identifiers the item is registered as, in order.
  std::vector<std::string> types;
  // The file handed over for a registered type. A load asks for one type: it gets that type's
  // file, else the file of the first registered type conforming to it, else nothing.
  std::map<std::string, std::string> files;
  // Loads answer in ascending rank (then in the order they were started); unset: pick order.
  std::optional<int> rank;
};

enum class MemoryPickEnding {
  answer,      // the user chooses `items` (an empty list is the same as cancelling)
  cancel,      // the user cancels: the answer holds no items
  closeWindow, // the user closes the window before the picker answers; no answer follows
  never,       // the user never decides
};

// How the loads of one answer are handed back.
enum class MemoryLoadTiming {
  oneByOne, // one at a time, in rank order, each on its own thread
  together, // all threads let go at the same moment
};

class MemoryPicker final : public Picker {
public:
  // Temporary files of the loads are made in `tempDir`, which must exist.
  MemoryPicker(FileTypes& types, std::string tempDir);
  // Waits for every load thread.
  ~MemoryPicker() override;
  MemoryPicker(const MemoryPicker&) = delete;
  MemoryPicker& operator=(const MemoryPicker&) = delete;

  // The script; set before `run`.
  std::vector<MemoryPickItem> items;
  MemoryPickEnding ending = MemoryPickEnding::answer;
  // After answering, the user also closes the window while the loads are still running.
  bool closeAfterAnswer = false;
  MemoryLoadTiming timing = MemoryLoadTiming::oneByOne;

  void show(const PickerConfiguration& configuration, PickerPresentation presentation,
            const PickerWindow& window, PickerDelegate& delegate) override;
  void hide() override;
  // Delivers the scripted events on this thread, then lets the loads go, then waits until
  // `quit` (the process normally ends from a handler before that).
  void run() override;
  void quit();
  // Blocks until `run` has delivered the scripted events and every load started so far has
  // answered and its handler returned.
  void waitForLoads();

  // What was observed.
  struct Shown {
    PickerConfiguration configuration;
    PickerPresentation presentation;
    PickerWindow window;
  };
  std::optional<Shown> shown() const;
  bool hidden() const;
  int showCount() const;
  // Per load, in the order they were started: the item's position and the identifier asked for.
  struct LoadRequest {
    std::size_t item;
    std::string identifier;
  };
  std::vector<LoadRequest> loadRequests() const;
  // The thread the event loop ran on, and the threads that called handlers.
  std::optional<std::thread::id> mainThread() const;
  std::vector<std::thread::id> handlerThreads() const;
  // The most handlers that were running at the same moment.
  int mostAtOnce() const;

private:
  class Provider;
  struct Load {
    std::size_t item;
    int rank;
    std::size_t sequence;
    std::string identifier;
    ItemProvider::FileHandler handler;
  };
  void start(std::size_t item, const std::string& identifier, ItemProvider::FileHandler handler);
  void release(std::vector<Load> loads);
  void answerOne(Load load, std::size_t turn);
  std::optional<std::string> handOver(const Load& load);

  FileTypes& types;
  std::string tempDir;
  PickerDelegate* delegate = nullptr;

  mutable std::mutex mutex;
  std::condition_variable changed;
  std::optional<Shown> shownWith;
  int shows = 0;
  bool isHidden = false;
  bool quitting = false;
  bool delivered = false;
  bool holding = false; // loads started while the scripted events run wait for them to end
  std::vector<Load> held;
  std::vector<LoadRequest> requests;
  std::vector<std::thread> threads;
  std::size_t started = 0;
  std::size_t answered = 0;
  std::size_t nextTurn = 0;   // oneByOne: the turn allowed to answer now
  std::size_t turnsGiven = 0; // oneByOne: turns handed out so far
  int running = 0;
  int mostRunning = 0;
  std::optional<std::thread::id> loopThread;
  std::vector<std::thread::id> handlerIds;
};

} // namespace plenk
