// The GTK picker window as a module that plenk-media opens when a pick begins, so that no other
// verb loads GTK.
#include "platform/linux/on_demand.hpp"
#include "platform/linux/picker/gtk_picker.hpp"

#include <string_view>

static_assert(std::string_view(plenk::PICKER_ENTRY) == "plenkMakePicker");

extern "C" [[gnu::visibility("default")]] plenk::Picker*
plenkMakePicker(plenk::Images* images, plenk::Recordings* recordings) {
  return plenk::gtkPicker(*images, *recordings).release();
}
