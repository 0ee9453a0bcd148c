// The --in file, the --out directory, and new files in it that never replace anything. Each
// failure raises a MediaError with its code and message.
#pragma once

#include "media/context.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/options.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plenk::media {

// The path of the --in file as typed (relative to the working directory): E_USAGE when absent
// or empty, E_INPUT when it is not a regular file or not readable.
std::string inputURL(Media& media, const Options& opts);

// The standardised --out directory: E_USAGE when absent or empty, E_OUT when it is not an
// existing directory or not writable. Never created.
std::string outDir(Media& media, const Options& opts);

// dir + "/" + name: E_OUT when any item of that name is already there.
std::string outFile(Media& media, const std::string& dir, const std::string& name);

// Writes the bytes into a new file at path; E_OUT what + " could not be written into the
// directory given to --out" on any failure, also when a file appeared there after outFile.
void writeOut(Media& media, std::string_view bytes, const std::string& path,
              const std::string& what);

// Size in bytes, or 0 when it cannot be read.
std::int64_t fileSize(Media& media, const std::string& path);

// At least three digits: 7 gives "007", 1234 gives "1234".
std::string pad3(std::int64_t n);

// The extension lower-cased when it is 1 to 5 ASCII letters and digits; nothing otherwise.
std::optional<std::string> safeExtension(std::optional<std::string_view> extension);

} // namespace plenk::media
