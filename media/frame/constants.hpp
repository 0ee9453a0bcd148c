// Module constants of plenk-media: fixed at build time, never changed.
#pragma once

#include "platform/version.hpp"

#include <array>
#include <cstdint>
#include <string_view>

namespace plenk::media {

inline constexpr std::int64_t PROTOCOL_VERSION = 1;
inline constexpr std::string_view HELPER_NAME = "plenk-media";
inline constexpr std::string_view HELPER_VERSION = HELPERS_VERSION;

inline constexpr std::int64_t DEFAULT_MAX_EDGE = 1920;
inline constexpr std::int64_t HARD_MAX_EDGE = 4096;
inline constexpr double DEFAULT_QUALITY = 0.82;
inline constexpr double MIN_QUALITY = 0.4;
inline constexpr std::int64_t DEFAULT_MAX_BYTES = 400000;
inline constexpr std::int64_t DEFAULT_FRAME_COUNT = 4;
inline constexpr std::int64_t MAX_FRAME_COUNT = 8;
inline constexpr std::int64_t DEFAULT_MAX_CHARS = 200000;
inline constexpr std::int64_t DEFAULT_OCR_PAGES = 10;
inline constexpr std::int64_t MAX_OCR_PAGES = 50;
inline constexpr double OCR_RENDER_SCALE = 2.0;
inline constexpr double OCR_MAX_PIXELS = 12000000.0;
inline constexpr double DEFAULT_MAX_SECONDS = 900.0;
inline constexpr std::int64_t DEADLINE_DEFAULT_MS = 120000;
inline constexpr std::int64_t DEADLINE_MIN_MS = 500;
inline constexpr std::int64_t DEADLINE_MAX_MS = 600000;
inline constexpr std::int64_t PICK_DEFAULT_LIMIT = 8;
inline constexpr std::int64_t PICK_MAX_LIMIT = 20;
inline constexpr std::int64_t PICK_MAX_EDGE = 1400;
inline constexpr std::int64_t PICK_MAX_BYTES = 900000;
inline constexpr std::array<std::string_view, 3> PICK_VIDEO_EXT{"mov", "mp4", "m4v"};
inline constexpr std::array<std::string_view, 3> PICK_KINDS{"both", "images", "videos"};
inline constexpr std::array<std::string_view, 3> PICK_PRESENT{"window", "sheet", "modal"};
inline constexpr double PICK_WINDOW_WIDTH = 900.0;
inline constexpr double PICK_WINDOW_HEIGHT = 640.0;

inline constexpr int EXIT_OK = 0;
inline constexpr int EXIT_USAGE = 2;
inline constexpr int EXIT_INPUT = 3;
inline constexpr int EXIT_WORK = 4;
inline constexpr int EXIT_DEADLINE = 5;
inline constexpr int EXIT_OUT = 6;

// The only option keys accepted, in their documented order.
inline constexpr std::array<std::string_view, 15> KNOWN_KEYS{
    "--in",     "--out",         "--nonce",    "--deadline", "--max-chars",
    "--pages",  "--count",       "--max-edge", "--quality",  "--max-bytes",
    "--format", "--max-seconds", "--limit",    "--kinds",    "--present"};

// Every verb, in the order probe lists them.
inline constexpr std::array<std::string_view, 7> VERB_NAMES{"probe",  "inspect", "pdftext", "ocr",
                                                            "frames", "audio",   "pick"};

} // namespace plenk::media
