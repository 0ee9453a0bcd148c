// Choosing photographs and videos from the photo library: the system picker, the items it
// hands back, and the type identifiers those items are offered in.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plenk {

// A known data type ("public.jpeg", "com.apple.quicktime-movie").
struct FileType {
  std::string identifier;
  // The usual file-name extension, without the dot, as the platform spells it.
  std::optional<std::string> preferredExtension;
};

// The platform's registry of type identifiers.
struct FileTypes {
  virtual ~FileTypes() = default;
  // The type registered under an identifier; nothing for an identifier the platform does not know.
  virtual std::optional<FileType> type(const std::string& identifier) = 0;
  // Whether `type` is `to` or one of its descendants.
  virtual bool conforms(const FileType& type, const FileType& to) = 0;
  // The generic movie, generic image and JPEG types.
  virtual FileType movie() = 0;
  virtual FileType image() = 0;
  virtual FileType jpeg() = 0;
};

// The data source of one chosen item. Safe to use from any thread.
struct ItemProvider {
  virtual ~ItemProvider() = default;
  // The identifiers the item can be given as, in the provider's order.
  virtual std::vector<std::string> registeredTypeIdentifiers() = 0;
  // Whether the item can be given as this type (a registered type conforming to it).
  virtual bool hasItemConformingTo(const std::string& identifier) = 0;
  // Called once, later, on a thread of the platform's choosing (never the caller's), with the
  // path of a temporary file holding the item, or nothing when the item was not handed over.
  // The file is removed as soon as the handler returns.
  using FileHandler = std::function<void(const std::optional<std::string>& path)>;
  // Starts handing the item over as a file of the given type and returns at once.
  virtual void loadFileRepresentation(const std::string& identifier, FileHandler handler) = 0;
};

enum class PickerFilter { images, videos, imagesAndVideos };
// `current`: items are handed over in their stored format, without conversion.
enum class PickerRepresentation { automatic, current, compatible };
// `ordered`: the picker numbers the choices and answers in the order they were chosen.
enum class PickerSelection { platformDefault, ordered };

struct PickerConfiguration {
  std::int64_t selectionLimit = 1;
  PickerFilter filter = PickerFilter::imagesAndVideos;
  PickerRepresentation representation = PickerRepresentation::automatic;
  PickerSelection selection = PickerSelection::platformDefault;
};

// window: the picker is the content of its own window; sheet and modal: a placeholder window
// is shown and the picker is presented over it as a sheet or as a modal window.
enum class PickerPresentation { window, sheet, modal };

// The window shown: titled, closable, floating, centred, not released when closed.
struct PickerWindow {
  std::string title;
  double width = 0.0;
  double height = 0.0;
};

// What the picker tells its session; both calls arrive on the main thread.
struct PickerDelegate {
  virtual ~PickerDelegate() = default;
  // Called exactly once: the chosen items in the order chosen, or none when the user cancelled.
  virtual void pickerDidFinish(std::vector<std::shared_ptr<ItemProvider>> results) = 0;
  // The user is closing the window shown with the picker.
  virtual void pickerWindowWillClose() = 0;
  // The display the picker was shown on went away: nothing can be shown or chosen any more. The
  // session ends the run from inside this call; in the program it does not return.
  virtual void pickerLost() {}
};

struct Picker {
  virtual ~Picker() = default;
  // Makes the process a windowed accessory application (no Dock icon, no menu bar of its own),
  // puts up the picker and brings it to the front. The delegate must outlive the picker.
  virtual void show(const PickerConfiguration& configuration, PickerPresentation presentation,
                    const PickerWindow& window, PickerDelegate& delegate) = 0;
  // Hides (orders out, does not close) the windows showing the picker; no close is reported.
  virtual void hide() = 0;
  // Runs the application event loop on the calling (main) thread. It does not return while a
  // session lives: the process ends from inside the session.
  virtual void run() = 0;
};

} // namespace plenk
