// One picker session: receives the picker's answer, sorts the chosen items into photographs and
// videos, starts one copy per item, counts the copies down and writes the answer once.
#pragma once

#include "platform/json.hpp"
#include "platform/picker.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace plenk::media {

inline constexpr const char* NOTE_NEITHER =
    "One of the things chosen is neither a photograph nor a video, so it was left out.";

// One accepted item: what to load and what to call the copy.
struct PickJob {
  std::int64_t index = 0; // position in the picker's answer, from 0
  std::shared_ptr<ItemProvider> provider;
  bool video = false;
  std::string typeId;
  std::string name;
};

class PhotoPick final : public PickerDelegate, public std::enable_shared_from_this<PhotoPick> {
public:
  // Writes the final answer; in the program it also ends the process.
  using Answer = std::function<void(const Json& result)>;
  // Starts the asynchronous copy of one job; its handler holds the session weakly.
  using StartCopy = std::function<void(const PickJob& job, std::weak_ptr<PhotoPick> session)>;

  // Ends the run with a failure when the picker cannot go on; in the program it does not return.
  using Lost = std::function<void()>;

  PhotoPick(std::string dir, Picker& picker, FileTypes& types, Answer answer, StartCopy startCopy,
            Lost lost = {});

  // The directory the copies go into.
  const std::string dir;

  // Puts up the picker: in its own window ("window"), or as a sheet or a modal window over a
  // placeholder window ("sheet", "modal"). mode is lower-cased already.
  void show(const PickerConfiguration& configuration, const std::string& mode);

  void addNote(std::string sentence);
  // A finished item's record, at its position in the picker's answer.
  void store(std::int64_t index, Json record);
  // One started copy has reported, whether it succeeded or not; the last one finishes the session.
  void countDown();
  // Writes the answer the first time it is called; later calls do nothing.
  void finish(bool cancelled);

  void pickerDidFinish(std::vector<std::shared_ptr<ItemProvider>> results) override;
  void pickerWindowWillClose() override;
  void pickerLost() override;

private:
  Picker& picker;
  FileTypes& types;
  Answer answer;
  StartCopy startCopy;
  Lost lost;

  std::mutex lock; // guards everything below
  std::map<std::int64_t, Json> slots;
  std::vector<std::string> notes;
  std::int64_t pending = 0;
  bool answered = false;
  bool done = false;
};

} // namespace plenk::media
