#include "platform/memory/picker.hpp"

#include <algorithm>
#include <filesystem>
#include <latch>
#include <memory>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace plenk {

// ---- types -------------------------------------------------------------------------------

MemoryFileTypes::MemoryFileTypes() {
  add("public.item", std::nullopt, {});
  add("public.content", std::nullopt, {});
  add("public.data", std::nullopt, {"public.item"});
  add("public.image", std::nullopt, {"public.data", "public.content"});
  add("public.jpeg", "jpeg", {"public.image"});
  add("public.png", "png", {"public.image"});
  add("public.tiff", "tiff", {"public.image"});
  add("com.compuserve.gif", "gif", {"public.image"});
  add("public.heif", "heif", {"public.image"});
  add("public.heic", "heic", {"public.image"});
  add("public.audiovisual-content", std::nullopt, {"public.data", "public.content"});
  add("public.movie", std::nullopt, {"public.audiovisual-content"});
  add("public.video", std::nullopt, {"public.movie"});
  add("com.apple.quicktime-movie", "mov", {"public.movie"});
  add("public.mpeg-4", "mp4", {"public.movie"});
  add("com.apple.m4v-video", "m4v", {"public.movie"});
  add("public.avi", "avi", {"public.movie"});
  add("public.audio", std::nullopt, {"public.audiovisual-content"});
  add("public.text", std::nullopt, {"public.data", "public.content"});
  add("public.plain-text", "txt", {"public.text"});
  add("com.adobe.pdf", "pdf", {"public.data", "public.content"});
}

void MemoryFileTypes::add(const std::string& identifier, std::optional<std::string> extension,
                          std::vector<std::string> parents) {
  table[identifier] = Entry{std::move(extension), std::move(parents)};
}

std::optional<FileType> MemoryFileTypes::type(const std::string& identifier) {
  auto it = table.find(identifier);
  if (it == table.end()) return std::nullopt;
  return FileType{identifier, it->second.extension};
}

bool MemoryFileTypes::conformsId(const std::string& from, const std::string& to, int depth) const {
  if (from == to) return true;
  // A test may register a cycle; the depth bound keeps that from looping.
  if (depth > 32) return false;
  auto it = table.find(from);
  if (it == table.end()) return false;
  return std::any_of(it->second.parents.begin(), it->second.parents.end(),
                     [&](const std::string& p) { return conformsId(p, to, depth + 1); });
}

bool MemoryFileTypes::conforms(const FileType& type, const FileType& to) {
  return conformsId(type.identifier, to.identifier, 0);
}

FileType MemoryFileTypes::movie() {
  return *type("public.movie");
}
FileType MemoryFileTypes::image() {
  return *type("public.image");
}
FileType MemoryFileTypes::jpeg() {
  return *type("public.jpeg");
}

// ---- providers ---------------------------------------------------------------------------

class MemoryPicker::Provider final : public ItemProvider {
public:
  Provider(MemoryPicker& picker, std::size_t item) : picker(picker), item(item) {}

  std::vector<std::string> registeredTypeIdentifiers() override { return picker.items[item].types; }

  bool hasItemConformingTo(const std::string& identifier) override {
    auto target = picker.types.type(identifier);
    for (const auto& id : picker.items[item].types) {
      if (id == identifier) return true;
      auto own = picker.types.type(id);
      if (own && target && picker.types.conforms(*own, *target)) return true;
    }
    return false;
  }

  void loadFileRepresentation(const std::string& identifier, FileHandler handler) override {
    picker.start(item, identifier, std::move(handler));
  }

private:
  MemoryPicker& picker;
  std::size_t item;
};

// ---- the picker --------------------------------------------------------------------------

MemoryPicker::MemoryPicker(FileTypes& types, std::string tempDir)
    : types(types), tempDir(std::move(tempDir)) {}

MemoryPicker::~MemoryPicker() {
  quit();
  for (;;) {
    std::vector<std::thread> joining;
    {
      std::lock_guard guard(mutex);
      joining.swap(threads);
    }
    if (joining.empty()) break;
    for (auto& t : joining)
      t.join();
  }
}

void MemoryPicker::show(const PickerConfiguration& configuration, PickerPresentation presentation,
                        const PickerWindow& window, PickerDelegate& session) {
  std::lock_guard guard(mutex);
  shownWith = Shown{configuration, presentation, window};
  ++shows;
  isHidden = false;
  delegate = &session;
}

void MemoryPicker::hide() {
  std::lock_guard guard(mutex);
  isHidden = true;
}

void MemoryPicker::run() {
  PickerDelegate* session = nullptr;
  std::size_t limit = items.size();
  {
    std::lock_guard guard(mutex);
    loopThread = std::this_thread::get_id();
    holding = true;
    session = delegate;
    if (shownWith && shownWith->configuration.selectionLimit >= 0)
      limit = std::min(limit, static_cast<std::size_t>(shownWith->configuration.selectionLimit));
  }
  if (session) {
    switch (ending) {
    case MemoryPickEnding::answer: {
      // The picker lets the user choose no more than the limit.
      std::vector<std::shared_ptr<ItemProvider>> results;
      for (std::size_t i = 0; i < limit; ++i)
        results.push_back(std::make_shared<Provider>(*this, i));
      session->pickerDidFinish(std::move(results));
      if (closeAfterAnswer) session->pickerWindowWillClose();
      break;
    }
    case MemoryPickEnding::cancel:
      session->pickerDidFinish({});
      break;
    case MemoryPickEnding::closeWindow:
      session->pickerWindowWillClose();
      break;
    case MemoryPickEnding::never:
      break;
    }
  }
  std::vector<Load> batch;
  {
    std::lock_guard guard(mutex);
    holding = false;
    batch.swap(held);
  }
  release(std::move(batch));
  std::unique_lock lock(mutex);
  delivered = true;
  changed.notify_all();
  changed.wait(lock, [&] { return quitting; });
}

void MemoryPicker::quit() {
  std::lock_guard guard(mutex);
  quitting = true;
  changed.notify_all();
}

void MemoryPicker::waitForLoads() {
  std::unique_lock lock(mutex);
  changed.wait(lock, [&] { return delivered && answered == started; });
}

void MemoryPicker::start(std::size_t item, const std::string& identifier,
                         ItemProvider::FileHandler handler) {
  std::unique_lock lock(mutex);
  requests.push_back({item, identifier});
  Load load{item, items[item].rank.value_or(static_cast<int>(item)), started++, identifier,
            std::move(handler)};
  if (holding) {
    held.push_back(std::move(load));
    return;
  }
  lock.unlock();
  std::vector<Load> one;
  one.push_back(std::move(load));
  release(std::move(one));
}

void MemoryPicker::release(std::vector<Load> loads) {
  if (loads.empty()) return;
  std::stable_sort(loads.begin(), loads.end(), [](const Load& a, const Load& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.sequence < b.sequence;
  });
  std::lock_guard guard(mutex);
  if (timing == MemoryLoadTiming::together) {
    auto gate = std::make_shared<std::latch>(static_cast<std::ptrdiff_t>(loads.size()));
    for (auto& load : loads) {
      threads.emplace_back([this, gate, load = std::move(load)]() mutable {
        gate->arrive_and_wait();
        answerOne(std::move(load), 0);
      });
    }
    return;
  }
  for (auto& load : loads) {
    std::size_t turn = turnsGiven++;
    threads.emplace_back(
        [this, turn, load = std::move(load)]() mutable { answerOne(std::move(load), turn); });
  }
}

std::optional<std::string> MemoryPicker::handOver(const Load& load) {
  const MemoryPickItem& item = items[load.item];
  std::optional<std::string> source;
  if (auto it = item.files.find(load.identifier); it != item.files.end()) source = it->second;
  auto wanted = types.type(load.identifier);
  for (std::size_t i = 0; !source && wanted && i < item.types.size(); ++i) {
    auto it = item.files.find(item.types[i]);
    auto own = types.type(item.types[i]);
    if (it != item.files.end() && own && types.conforms(*own, *wanted)) source = it->second;
  }
  if (!source) return std::nullopt;
  namespace fs = std::filesystem;
  // A fresh file per load, named like the source so its extension survives. The process id keeps
  // runs apart: the handler that ends a run never returns, so its file is never removed.
  fs::path path =
      fs::path(tempDir) / (std::to_string(::getpid()) + "-" + std::to_string(load.sequence) + "-" +
                           fs::path(*source).filename().string());
  std::error_code ec;
  if (!fs::copy_file(*source, path, fs::copy_options::none, ec) || ec) return std::nullopt;
  return path.string();
}

void MemoryPicker::answerOne(Load load, std::size_t turn) {
  bool oneByOne = timing == MemoryLoadTiming::oneByOne;
  {
    std::unique_lock lock(mutex);
    if (oneByOne) changed.wait(lock, [&] { return nextTurn == turn; });
    ++running;
    mostRunning = std::max(mostRunning, running);
    handlerIds.push_back(std::this_thread::get_id());
  }
  auto path = handOver(load);
  load.handler(path);
  if (path) {
    std::error_code ec;
    std::filesystem::remove(*path, ec);
  }
  std::lock_guard guard(mutex);
  --running;
  ++answered;
  if (oneByOne) ++nextTurn;
  changed.notify_all();
}

std::optional<MemoryPicker::Shown> MemoryPicker::shown() const {
  std::lock_guard guard(mutex);
  return shownWith;
}

bool MemoryPicker::hidden() const {
  std::lock_guard guard(mutex);
  return isHidden;
}

int MemoryPicker::showCount() const {
  std::lock_guard guard(mutex);
  return shows;
}

std::vector<MemoryPicker::LoadRequest> MemoryPicker::loadRequests() const {
  std::lock_guard guard(mutex);
  return requests;
}

std::optional<std::thread::id> MemoryPicker::mainThread() const {
  std::lock_guard guard(mutex);
  return loopThread;
}

std::vector<std::thread::id> MemoryPicker::handlerThreads() const {
  std::lock_guard guard(mutex);
  return handlerIds;
}

int MemoryPicker::mostAtOnce() const {
  std::lock_guard guard(mutex);
  return mostRunning;
}

} // namespace plenk
