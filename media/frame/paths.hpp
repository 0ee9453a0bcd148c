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
// directory given to --out" on any failure, also when a file appeared there after outFile. The
// file appears whole or not at all (see holdTemporary).
void writeOut(Media& media, std::string_view bytes, const std::string& path,
              const std::string& what);

// Outputs are written under a temporary name beside their final one and moved to it when whole,
// so that a deadline, a full disk or a kill never leaves a cut file under a name that looks
// finished. The temporary name ("." + name + "." + random + ".part") is never a final name.
// holdTemporary gives that name for path and registers it with the run; nothing once the run
// has ended (its answer is out).
std::optional<std::string> holdTemporary(Media& media, const std::string& path);
// Moves the finished temporary to path, never replacing anything; false when it could not. The
// temporary is gone afterwards either way.
bool placeTemporary(Media& media, const std::string& temporary, const std::string& path);
// Removes the temporary (a failed write).
void dropTemporary(Media& media, const std::string& temporary);
// Removes every temporary still held: the ends of the run call it.
void dropAllTemporaries(Media& media);

// Copies the file at from into a new file at path, whole or not at all; false when it could not.
bool copyOut(Media& media, const std::string& from, const std::string& path);

// Size in bytes, or 0 when it cannot be read.
std::int64_t fileSize(Media& media, const std::string& path);

// At least three digits: 7 gives "007", 1234 gives "1234".
std::string pad3(std::int64_t n);

// The extension lower-cased when it is 1 to 5 ASCII letters and digits; nothing otherwise.
std::optional<std::string> safeExtension(std::optional<std::string_view> extension);

} // namespace plenk::media
