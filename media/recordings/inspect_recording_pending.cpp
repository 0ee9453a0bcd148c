// Stands in for the recording half of inspect until it lands: every file that is not a PDF
// is refused as holding no sound and no picture.
#include "media/frame/errors.hpp"
#include "media/recordings/inspect_recording.hpp"

namespace plenk::media {

Json inspectRecording(Media&, const std::string&, std::int64_t) {
  throw MediaError(Code::Input, "that file holds no sound and no picture that macOS can read");
}

} // namespace plenk::media
