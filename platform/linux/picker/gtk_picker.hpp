// The picker window of this platform, on GTK 4: the photographs and videos of the user's XDG
// Pictures and Videos folders, newest first, as a lazily drawn grid of thumbnails.
#pragma once

#include "platform/images.hpp"
#include "platform/media.hpp"
#include "platform/picker.hpp"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace plenk {

// What the window has drawn so far, for a benchmark that times the first thumbnails.
struct PickerProgress {
  std::size_t listed = 0;     // items in the grid
  std::size_t onScreen = 0;   // tiles the grid has made
  std::size_t thumbnails = 0; // of those, tiles showing their thumbnail or their fault
  std::size_t leading = 0;    // items from the top of the grid on that show theirs, unbroken
};

// Thumbnails come from `images` (pictures) and `recordings` (a video's frame), which must outlive
// the picker. `progress`, when set, is called on the main thread whenever a tile changes.
std::unique_ptr<Picker> gtkPicker(Images& images, Recordings& recordings,
                                  std::function<void(const PickerProgress&)> progress = {});

} // namespace plenk
