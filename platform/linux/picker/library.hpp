// The user's library of photographs and videos: the files of the XDG Pictures and Videos folders
// and their subfolders, newest first, each with its type from its content, and their thumbnails.
#pragma once

#include "platform/images.hpp"
#include "platform/media.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plenk {

// Why an item cannot be shown.
enum class ItemFault {
  none,
  unreadable,  // the file cannot be opened
  empty,       // the file holds no bytes
  undecodable, // no picture could be made of it
  gone,        // the file is no longer there
};

enum class LibraryKinds { images, videos, both };

struct LibraryItem {
  std::string path;
  std::string name; // the file name, as the user sees it
  // The type its content shows; for a file whose content tells nothing, the type its name
  // stands for (so that choosing it is reported as a photograph or video that failed).
  std::optional<std::string> type;
  bool video = false;
  ItemFault fault = ItemFault::none;
  std::int64_t modified = 0; // nanoseconds since the epoch
};

// The Pictures and Videos folders of the user (the XDG user folders, else ~/Pictures and
// ~/Videos), without repeats; never the home folder itself.
std::vector<std::string> libraryFolders();

// How many items the first batch holds: the grid can start drawing before the rest is typed.
inline constexpr std::size_t FIRST_BATCH = 48;
inline constexpr std::size_t LATER_BATCH = 1024;

// Walks the folders (following links, visiting every folder once, so link loops end), and
// hands over the photographs and videos of the kinds asked for, newest first, in batches.
// Files that are neither are left out; files whose content cannot be read are kept, with
// their fault, when their name says photograph or video. Recordings tells the other
// formats that FFmpeg opens.
void listLibrary(const std::vector<std::string>& folders, LibraryKinds kinds,
                 Recordings& recordings,
                 const std::function<void(std::vector<LibraryItem>)>& batch);

// One file as the library would list it; nothing when it is not of the kinds asked for.
std::optional<LibraryItem> describeFile(const std::string& path, LibraryKinds kinds,
                                        Recordings& recordings);

// The path where the freedesktop thumbnail cache keeps a thumbnail of the file at `path` in
// `size` ("normal", 128 pixels; "large", 256), whether or not one is there.
std::string cachedThumbnailPath(const std::string& path, const char* size);

// An upright thumbnail within a square of `edge` pixels: from the thumbnail cache when it holds
// one made of the file as it is now, else decoded at that size (a video: a frame near its start).
std::optional<Picture> thumbnailOf(const LibraryItem& item, Images& images, Recordings& recordings,
                                   int edge);

} // namespace plenk
