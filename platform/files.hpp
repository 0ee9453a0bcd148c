// The file system as the media verbs need it. Paths are UTF-8 texts; relative paths are taken
// relative to the working directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plenk {

enum class ItemKind { None, File, Directory, Other };

struct Files {
  virtual ~Files() = default;
  // What is at the path, symbolic links followed (a dangling link is None).
  virtual ItemKind kind(const std::string& path) = 0;
  // Whether any item has this name, a dangling symbolic link included.
  virtual bool taken(const std::string& path) = 0;
  // Whether this process's user may read the item / write into it.
  virtual bool readable(const std::string& path) = 0;
  virtual bool writable(const std::string& path) = 0;
  // The same location in normal form: see standardizePath; ".." in an absolute path is resolved
  // against the real directories (symbolic links included) when the path exists.
  virtual std::string standardize(const std::string& path) = 0;
  // Size in bytes of the item, links followed; nothing when it cannot be read.
  virtual std::optional<std::int64_t> size(const std::string& path) = 0;
  // Creates a new file and writes all the bytes; fails, touching nothing, when any item of that
  // name exists, also one that appeared a moment ago.
  virtual bool writeNew(const std::string& path, std::string_view bytes) = 0;
  // Copies the file at `from` byte for byte into a new file at `to`, never replacing any item
  // there. On a failure after `to` was made, the partial copy stays.
  virtual bool copyNew(const std::string& from, const std::string& to) = 0;
  // Gives the file at `from` the name `to` in the same directory: `to` appears complete or not
  // at all, and an item already called `to` is never replaced. False (nothing moved) on failure.
  virtual bool moveNew(const std::string& from, const std::string& to) = 0;
  // Removes the file (not a directory); false when nothing was removed.
  virtual bool remove(const std::string& path) = 0;
};

// The files of this machine.
Files& systemFiles();

// The text-only part of standardising: a leading "~" or "~/" replaced by home, empty and "."
// components and a trailing separator removed. ".." is left as it is. An empty relative result
// is ".".
std::string standardizePath(std::string_view path, std::string_view home);

} // namespace plenk
