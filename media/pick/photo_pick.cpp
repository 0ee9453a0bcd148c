#include "media/pick/photo_pick.hpp"

#include "media/frame/constants.hpp"
#include "media/pick/item_types.hpp"

#include <utility>

namespace plenk::media {

PhotoPick::PhotoPick(std::string dir, Picker& picker, FileTypes& types, Answer answer,
                     StartCopy startCopy, Lost lost)
    : dir(std::move(dir)), picker(picker), types(types), answer(std::move(answer)),
      startCopy(std::move(startCopy)), lost(std::move(lost)) {}

void PhotoPick::show(const PickerConfiguration& configuration, const std::string& mode) {
  if (mode == "window") {
    picker.show(configuration, PickerPresentation::window,
                {"Choose from Photos", PICK_WINDOW_WIDTH, PICK_WINDOW_HEIGHT}, *this);
    return;
  }
  picker.show(configuration,
              mode == "sheet" ? PickerPresentation::sheet : PickerPresentation::modal,
              {"Plenk", PICK_WINDOW_WIDTH, PICK_WINDOW_HEIGHT}, *this);
}

void PhotoPick::addNote(std::string sentence) {
  std::lock_guard guard(lock);
  notes.push_back(std::move(sentence));
}

void PhotoPick::store(std::int64_t index, Json record) {
  std::lock_guard guard(lock);
  slots[index] = std::move(record);
}

void PhotoPick::countDown() {
  std::int64_t left = 0;
  {
    std::lock_guard guard(lock);
    left = --pending;
  }
  if (left <= 0) finish(false);
}

void PhotoPick::finish(bool cancelled) {
  Json items = Json::array();
  Json notesCopy = Json::array();
  {
    std::lock_guard guard(lock);
    if (done) return;
    done = true;
    // The map's ascending keys are the pick order, whatever order the copies finished in.
    for (const auto& [index, record] : slots)
      items.push_back(record);
    for (const auto& note : notes)
      notesCopy.push_back(note);
  }
  Json result = Json::object();
  result["ok"] = true;
  result["cancelled"] = cancelled;
  result["count"] = items.size();
  result["items"] = std::move(items);
  result["notes"] = std::move(notesCopy);
  answer(result);
}

void PhotoPick::pickerDidFinish(std::vector<std::shared_ptr<ItemProvider>> results) {
  {
    std::lock_guard guard(lock);
    answered = true;
  }
  // Hidden, not closed: no close report follows.
  picker.hide();
  if (results.empty()) {
    finish(true);
    return;
  }
  const std::string movie = types.movie().identifier;
  const std::string image = types.image().identifier;
  std::vector<PickJob> jobs;
  std::int64_t videos = 0;
  std::int64_t photos = 0;
  for (std::size_t i = 0; i < results.size(); ++i) {
    auto& provider = results[i];
    const auto index = static_cast<std::int64_t>(i);
    // An item offered both as a movie and as an image counts as a video.
    if (provider && provider->hasItemConformingTo(movie)) {
      std::string typeId = movieTypeIdentifier(types, *provider);
      std::string name = videoName(types, typeId, ++videos);
      jobs.push_back({index, provider, true, std::move(typeId), std::move(name)});
    } else if (provider && provider->hasItemConformingTo(image)) {
      jobs.push_back(
          {index, provider, false, imageTypeIdentifier(types, *provider), photoName(++photos)});
    } else {
      addNote(NOTE_NEITHER);
    }
  }
  if (jobs.empty()) {
    finish(false);
    return;
  }
  // Set before the first copy starts, so no early completion can find it unset.
  {
    std::lock_guard guard(lock);
    pending = static_cast<std::int64_t>(jobs.size());
  }
  for (const auto& job : jobs)
    startCopy(job, weak_from_this());
}

void PhotoPick::pickerWindowWillClose() {
  bool before = false;
  {
    std::lock_guard guard(lock);
    before = !answered;
  }
  if (before) finish(true);
}

// Copies already started may still write their files; the run's one answer is the failure.
void PhotoPick::pickerLost() {
  if (lost) lost();
}

} // namespace plenk::media
