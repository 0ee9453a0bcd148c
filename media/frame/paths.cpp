#include "media/frame/paths.hpp"

#include "media/frame/errors.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

namespace plenk::media {

namespace {
const std::string* value(const Options& opts, const char* key) {
  auto it = opts.find(key);
  return it == opts.end() || it->second.empty() ? nullptr : &it->second;
}
} // namespace

std::string inputURL(Media& media, const Options& opts) {
  const std::string* path = value(opts, "--in");
  if (!path) throw MediaError(Code::Usage, "--in <file> is required for this verb");
  // A pipe or a device is no file either: reading one could block the verb.
  if (media.files.kind(*path) != ItemKind::File)
    throw MediaError(Code::Input, "there is no readable file at the path given to --in");
  if (!media.files.readable(*path))
    throw MediaError(Code::Input, "the file given to --in cannot be read by this user");
  return *path;
}

std::string outDir(Media& media, const Options& opts) {
  const std::string* text = value(opts, "--out");
  if (!text) throw MediaError(Code::Usage, "--out <directory> is required for this verb");
  // The standardised path is the one checked, so the answer names the directory that passed.
  std::string dir = media.files.standardize(*text);
  if (media.files.kind(dir) != ItemKind::Directory)
    throw MediaError(Code::Out, "the path given to --out is not a directory that exists");
  if (!media.files.writable(dir))
    throw MediaError(Code::Out, "the directory given to --out cannot be written to");
  return dir;
}

std::string outFile(Media& media, const std::string& dir, const std::string& name) {
  std::string path = dir.ends_with('/') ? dir + name : dir + "/" + name;
  if (media.files.taken(path))
    throw MediaError(Code::Out, "the directory given to --out holds a file called " + name +
                                    "; nothing was written");
  return path;
}

void writeOut(Media& media, std::string_view bytes, const std::string& path,
              const std::string& what) {
  auto temporary = holdTemporary(media, path);
  bool written = temporary && media.files.writeNew(*temporary, bytes);
  if (temporary && !written) dropTemporary(media, *temporary);
  if (!written || !placeTemporary(media, *temporary, path))
    throw MediaError(Code::Out, what + " could not be written into the directory given to --out");
}

bool copyOut(Media& media, const std::string& from, const std::string& path) {
  auto temporary = holdTemporary(media, path);
  if (!temporary) return false;
  if (!media.files.copyNew(from, *temporary)) {
    dropTemporary(media, *temporary);
    return false;
  }
  return placeTemporary(media, *temporary, path);
}

std::optional<std::string> holdTemporary(Media& media, const std::string& path) {
  std::filesystem::path target(path);
  // Unique enough among runs that write into one folder at once; a clash only fails the write
  // (the temporary is created exclusively).
  thread_local std::mt19937_64 bits{std::random_device{}()};
  char tag[17];
  std::snprintf(tag, sizeof tag, "%016llx", static_cast<unsigned long long>(bits()));
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + "." + tag + ".part")).string();
  RunState& run = media.run;
  std::lock_guard lock(run.temporariesLock);
  if (run.ended) return std::nullopt;
  run.temporaries.insert(temporary);
  return temporary;
}

bool placeTemporary(Media& media, const std::string& temporary, const std::string& path) {
  bool placed = media.files.moveNew(temporary, path);
  if (!placed) media.files.remove(temporary);
  std::lock_guard lock(media.run.temporariesLock);
  media.run.temporaries.erase(temporary);
  return placed;
}

void dropTemporary(Media& media, const std::string& temporary) {
  media.files.remove(temporary);
  std::lock_guard lock(media.run.temporariesLock);
  media.run.temporaries.erase(temporary);
}

void dropAllTemporaries(Media& media) {
  std::lock_guard lock(media.run.temporariesLock);
  for (const std::string& temporary : media.run.temporaries)
    media.files.remove(temporary);
  media.run.temporaries.clear();
}

std::int64_t fileSize(Media& media, const std::string& path) {
  return media.files.size(path).value_or(0);
}

std::string pad3(std::int64_t n) {
  std::string s = std::to_string(n);
  if (s.size() < 3) s.insert(0, 3 - s.size(), '0');
  return s;
}

std::optional<std::string> safeExtension(std::optional<std::string_view> extension) {
  if (!extension) return std::nullopt;
  // Full lowering first: a few non-ASCII letters (the Kelvin sign) lower to ASCII ones.
  std::string e = text::lower(*extension);
  if (e.empty() || e.size() > 5) return std::nullopt;
  bool plain = std::all_of(e.begin(), e.end(),
                           [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); });
  if (!plain) return std::nullopt;
  return e;
}

} // namespace plenk::media
