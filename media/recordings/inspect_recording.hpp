// The recording half of inspect, for a file that does not look like a PDF.
#pragma once

#include "media/context.hpp"
#include "platform/json.hpp"

#include <cstdint>
#include <string>

namespace plenk::media {

// The result keys "ok", "kind" ("video" or "audio"), "bytes", "duration", "videoTracks",
// "audioTracks", "width", "height" and "fps"; raises the input failure when the file holds
// no picture track and no sound track.
Json inspectRecording(Media& media, const std::string& path, std::int64_t bytes);

} // namespace plenk::media
