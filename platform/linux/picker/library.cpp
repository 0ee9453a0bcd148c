#include "platform/linux/picker/library.hpp"

#include "platform/fd.hpp"
#include "platform/linux/file_types.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <glib.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace plenk {

namespace {

struct Found {
  std::string path;
  std::int64_t modified;
  std::int64_t size;
};

std::int64_t nanos(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool conformsTo(const std::string& type, const char* root) {
  static const auto types = linuxFileTypes();
  auto own = types->type(type);
  auto to = types->type(root);
  return own && to && types->conforms(*own, *to);
}

bool wanted(bool video, LibraryKinds kinds) {
  return kinds == LibraryKinds::both || (video == (kinds == LibraryKinds::videos));
}

// Iterative, so a deep tree cannot exhaust the stack; (device, inode) pairs stop link loops.
std::vector<Found> walk(const std::vector<std::string>& folders) {
  std::vector<Found> found;
  std::set<std::pair<dev_t, ino_t>> seen;
  std::vector<std::string> todo;
  for (const auto& f : folders) {
    struct stat st {};
    if (::stat(f.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        seen.insert({st.st_dev, st.st_ino}).second)
      todo.push_back(f);
  }
  while (!todo.empty()) {
    std::string dir = std::move(todo.back());
    todo.pop_back();
    DIR* d = ::opendir(dir.c_str());
    if (!d) continue;
    while (dirent* e = ::readdir(d)) {
      // Hidden files and folders (.thumbnails, .trash) are not the user's pictures.
      if (e->d_name[0] == '.') continue;
      std::string path = dir + "/" + e->d_name;
      struct stat st {};
      // Follows links; a dangling link or a loop of links fails here and is left out.
      if (::stat(path.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode)) {
        if (seen.insert({st.st_dev, st.st_ino}).second) todo.push_back(std::move(path));
      } else if (S_ISREG(st.st_mode)) {
        found.push_back(
            {std::move(path), nanos(st.st_mtim), static_cast<std::int64_t>(st.st_size)});
      }
    }
    ::closedir(d);
  }
  // Newest first; the path decides between equals, so the order is the same every time.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.modified != b.modified ? a.modified > b.modified : a.path < b.path;
  });
  return found;
}

std::optional<std::string> extensionType(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  if (extension.empty()) return std::nullopt;
  return typeFromExtension(std::string_view(extension).substr(1));
}

std::optional<LibraryItem> describe(const std::string& path, std::int64_t modified,
                                    std::int64_t size, LibraryKinds kinds, Recordings& recordings) {
  LibraryItem item;
  item.path = path;
  item.name = std::filesystem::path(path).filename().string();
  item.modified = modified;
  auto byName = extensionType(path);
  if (!FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)))
    item.fault = ItemFault::unreadable;
  if (item.fault == ItemFault::none && size == 0) item.fault = ItemFault::empty;
  if (item.fault == ItemFault::none) item.type = typeOfFile(path);
  // Formats whose content only FFmpeg knows: files named as videos, or with names that say
  // nothing. Never pictures, which FFmpeg opens as one-frame videos.
  if (!item.type && item.fault == ItemFault::none && (!byName || conformsTo(*byName, TYPE_MOVIE)) &&
      recordings.open(path)->facts().videoTracks > 0)
    item.type = TYPE_MOVIE;
  if (item.type) {
    if (conformsTo(*item.type, TYPE_MOVIE))
      item.video = true;
    else if (!conformsTo(*item.type, TYPE_IMAGE))
      return std::nullopt;
  } else {
    // Nothing to tell from the content: the name decides whether it belongs, as a fault.
    if (!byName) return std::nullopt;
    if (conformsTo(*byName, TYPE_MOVIE))
      item.video = true;
    else if (!conformsTo(*byName, TYPE_IMAGE))
      return std::nullopt;
    item.type = byName;
    if (item.fault == ItemFault::none) item.fault = ItemFault::undecodable;
  }
  if (!wanted(item.video, kinds)) return std::nullopt;
  return item;
}

// A text chunk of a PNG file: where the thumbnail cache keeps what a thumbnail was made of.
// Writers put them before or after the pixel data, so the whole (small) file is read.
std::optional<std::string> pngText(const std::string& path, std::string_view key) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  std::string data(1 << 20, '\0');
  ssize_t n = ::pread(fd.get(), data.data(), data.size(), 0);
  if (n < 8 || data.compare(0, 8, "\x89PNG\r\n\x1A\n") != 0) return std::nullopt;
  data.resize(static_cast<std::size_t>(n));
  for (std::size_t at = 8; at + 8 <= data.size();) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    std::size_t length =
        (std::size_t(p[0]) << 24) | (std::size_t(p[1]) << 16) | (std::size_t(p[2]) << 8) | p[3];
    if (length > data.size() || at + 12 + length > data.size()) break;
    std::string_view type(data.data() + at + 4, 4);
    if (type == "tEXt") {
      std::string_view chunk(data.data() + at + 8, length);
      auto zero = chunk.find('\0');
      if (zero != std::string_view::npos && chunk.substr(0, zero) == key)
        return std::string(chunk.substr(zero + 1));
    }
    if (type == "IEND") break;
    at += 12 + length;
  }
  return std::nullopt;
}

} // namespace

std::vector<std::string> libraryFolders() {
  std::vector<std::string> out;
  const std::string home = g_get_home_dir();
  g_reload_user_special_dirs_cache();
  for (auto [dir, fallback] : {std::pair{G_USER_DIRECTORY_PICTURES, "Pictures"},
                               std::pair{G_USER_DIRECTORY_VIDEOS, "Videos"}}) {
    const char* configured = g_get_user_special_dir(dir);
    std::string path = configured ? configured : home + "/" + fallback;
    while (path.size() > 1 && path.back() == '/')
      path.pop_back();
    // A user folder set to the home folder means "not in use"; the whole home is no library.
    if (path == home || std::find(out.begin(), out.end(), path) != out.end()) continue;
    out.push_back(path);
  }
  return out;
}

void listLibrary(const std::vector<std::string>& folders, LibraryKinds kinds,
                 Recordings& recordings,
                 const std::function<void(std::vector<LibraryItem>)>& batch) {
  std::vector<LibraryItem> pending;
  std::size_t sent = 0;
  for (const auto& f : walk(folders)) {
    if (auto item = describe(f.path, f.modified, f.size, kinds, recordings))
      pending.push_back(std::move(*item));
    if (pending.size() >= (sent == 0 ? FIRST_BATCH : LATER_BATCH)) {
      sent += pending.size();
      batch(std::exchange(pending, {}));
    }
  }
  if (!pending.empty()) batch(std::move(pending));
}

std::optional<LibraryItem> describeFile(const std::string& path, LibraryKinds kinds,
                                        Recordings& recordings) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return describe(path, nanos(st.st_mtim), static_cast<std::int64_t>(st.st_size), kinds,
                  recordings);
}

std::string cachedThumbnailPath(const std::string& path, const char* size) {
  std::string name;
  if (char* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr)) {
    char* md5 = g_compute_checksum_for_string(G_CHECKSUM_MD5, uri, -1);
    name = std::string(md5) + ".png";
    g_free(md5);
    g_free(uri);
  }
  // Read each time rather than through GLib, which keeps the first answer for the process.
  const char* cache = std::getenv("XDG_CACHE_HOME");
  std::string root = cache && *cache == '/' ? cache : std::string(g_get_home_dir()) + "/.cache";
  return root + "/thumbnails/" + size + "/" + name;
}

std::optional<Picture> thumbnailOf(const LibraryItem& item, Images& images, Recordings& recordings,
                                   int edge) {
  struct stat st {};
  if (::stat(item.path.c_str(), &st) != 0) return std::nullopt;
  // The cache's thumbnails say which modification time they were made from (whole seconds).
  for (const char* size : {edge > 128 ? "large" : "normal", edge > 128 ? "normal" : "large"}) {
    std::string cached = cachedThumbnailPath(item.path, size);
    auto mtime = pngText(cached, "Thumb::MTime");
    if (mtime && *mtime == std::to_string(st.st_mtim.tv_sec))
      if (auto picture = images.thumbnail(cached, edge)) return picture;
  }
  if (!item.video) return images.thumbnail(item.path, edge);
  auto recording = recordings.open(item.path);
  if (!recording) return std::nullopt;
  double length = recording->facts().duration;
  // A moment in, past a fade from black, but never beyond a short clip's end.
  double moment = std::isfinite(length) && length > 0 ? std::min(1.0, length / 3) : 0.0;
  if (auto picture = recording->pictureAt(moment, edge)) return picture;
  return recording->pictureAt(0.0, edge);
}

} // namespace plenk
