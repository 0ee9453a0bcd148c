// The recording half of inspect, for a file that does not look like a PDF.
#pragma once

#include "media/context.hpp"
#include "platform/json.hpp"

#include <cstdint>
#include <string>

namespace plenk::media {

// What inspect and audio answer for a file that holds neither sound nor picture.
inline constexpr const char* NO_SOUND_NO_PICTURE =
    "that file holds no sound and no picture that macOS can read";

// The result keys "ok", "kind" ("video" or "audio"), "bytes", "duration", "videoTracks",
// "audioTracks", "width", "height" and "fps"; raises the input failure when the file holds
// no picture track and no sound track.
Json inspectRecording(Media& media, const std::string& path, std::int64_t bytes);

} // namespace plenk::media
