#include "platform/linux/file_types.hpp"

#include "platform/fd.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fcntl.h>
#include <unistd.h>

namespace plenk {

namespace {

struct TypeEntry {
  const char* id;
  const char* extension; // nullptr: none
  const char* parent;    // nullptr: a root
};

// Each type names its one parent; the generic image and movie types sit under all data.
constexpr std::array<TypeEntry, 30> TYPES{{
    {"application/octet-stream", nullptr, nullptr},
    {TYPE_IMAGE, nullptr, "application/octet-stream"},
    {TYPE_MOVIE, nullptr, "application/octet-stream"},
    {"audio/*", nullptr, "application/octet-stream"},
    {TYPE_JPEG, "jpeg", TYPE_IMAGE},
    {"image/png", "png", TYPE_IMAGE},
    {"image/gif", "gif", TYPE_IMAGE},
    {"image/tiff", "tiff", TYPE_IMAGE},
    {"image/webp", "webp", TYPE_IMAGE},
    {"image/heif", "heif", TYPE_IMAGE},
    {"image/heic", "heic", "image/heif"},
    {"image/avif", "avif", "image/heif"},
    {"image/bmp", "bmp", TYPE_IMAGE},
    {"video/quicktime", "mov", TYPE_MOVIE},
    {"video/mp4", "mp4", TYPE_MOVIE},
    {"video/x-m4v", "m4v", "video/mp4"},
    {"video/3gpp", "3gp", TYPE_MOVIE},
    {"video/x-matroska", "mkv", TYPE_MOVIE},
    {"video/webm", "webm", "video/x-matroska"},
    {"video/x-msvideo", "avi", TYPE_MOVIE},
    {"video/x-ms-wmv", "wmv", TYPE_MOVIE},
    {"video/x-flv", "flv", TYPE_MOVIE},
    {"video/mpeg", "mpg", TYPE_MOVIE},
    {"video/mp2t", "ts", TYPE_MOVIE},
    {"video/ogg", "ogv", TYPE_MOVIE},
    {"audio/mp4", "m4a", "audio/*"},
    {"audio/mpeg", "mp3", "audio/*"},
    {"text/plain", "txt", "application/octet-stream"},
    {"application/pdf", "pdf", "application/octet-stream"},
    {"application/zip", "zip", "application/octet-stream"},
}};

const TypeEntry* find(std::string_view id) {
  auto it = std::find_if(TYPES.begin(), TYPES.end(),
                         [&](const TypeEntry& e) { return std::string_view(e.id) == id; });
  return it == TYPES.end() ? nullptr : &*it;
}

FileType fileType(const TypeEntry& e) {
  return {e.id, e.extension ? std::optional<std::string>(e.extension) : std::nullopt};
}

struct LinuxFileTypes final : FileTypes {
  std::optional<FileType> type(const std::string& identifier) override {
    const TypeEntry* e = find(identifier);
    if (e == nullptr) return std::nullopt;
    return fileType(*e);
  }
  bool conforms(const FileType& type, const FileType& to) override {
    // The table has no cycles: every walk ends at a root.
    for (const TypeEntry* e = find(type.identifier); e != nullptr;
         e = e->parent ? find(e->parent) : nullptr)
      if (to.identifier == e->id) return true;
    return false;
  }
  FileType movie() override { return fileType(*find(TYPE_MOVIE)); }
  FileType image() override { return fileType(*find(TYPE_IMAGE)); }
  FileType jpeg() override { return fileType(*find(TYPE_JPEG)); }
};

bool at(std::string_view head, std::size_t offset, std::string_view magic) {
  return head.size() >= offset + magic.size() && head.substr(offset, magic.size()) == magic;
}

template <std::size_t N>
bool oneOf(std::string_view brand, const std::array<std::string_view, N>& brands) {
  return std::find(brands.begin(), brands.end(), brand) != brands.end();
}

// ISO base media files (QuickTime, MPEG-4, HEIF) say what they are in their first box, "ftyp":
// a major brand, then compatible brands.
std::optional<std::string> isoType(std::string_view head) {
  if (!at(head, 4, "ftyp") || head.size() < 12) {
    // Old QuickTime movies begin straight with their atoms.
    for (std::string_view atom : {"moov", "mdat", "wide", "free", "skip", "pnot"})
      if (at(head, 4, atom)) return "video/quicktime";
    return std::nullopt;
  }
  std::string_view major = head.substr(8, 4);
  std::uint32_t boxSize = (std::uint32_t(std::uint8_t(head[0])) << 24) |
                          (std::uint32_t(std::uint8_t(head[1])) << 16) |
                          (std::uint32_t(std::uint8_t(head[2])) << 8) | std::uint8_t(head[3]);
  std::size_t end = std::min<std::size_t>(head.size(), boxSize);
  auto compatible = [&](std::string_view brand) {
    for (std::size_t i = 16; i + 4 <= end; i += 4)
      if (head.substr(i, 4) == brand) return true;
    return false;
  };
  constexpr std::array<std::string_view, 6> heic{"heic", "heix", "heim", "heis", "hevc", "hevx"};
  constexpr std::array<std::string_view, 3> m4v{"M4V ", "M4VH", "M4VP"};
  constexpr std::array<std::string_view, 5> gpp{"3gp4", "3gp5", "3gp6", "3gp7", "3g2a"};
  constexpr std::array<std::string_view, 3> audio{"M4A ", "M4B ", "M4P "};
  if (major == "qt  ") return "video/quicktime";
  if (oneOf(major, heic)) return "image/heic";
  if (major == "avif" || major == "avis") return "image/avif";
  if (major == "mif1" || major == "msf1") {
    if (compatible("avif")) return "image/avif";
    for (auto brand : heic)
      if (compatible(brand)) return "image/heic";
    return "image/heif";
  }
  if (oneOf(major, m4v)) return "video/x-m4v";
  if (oneOf(major, gpp)) return "video/3gpp";
  if (oneOf(major, audio)) return "audio/mp4";
  // isom, iso2 to iso9, mp41, mp42, avc1, dash and the rest of MPEG-4's brands.
  return "video/mp4";
}

} // namespace

std::unique_ptr<FileTypes> linuxFileTypes() {
  return std::make_unique<LinuxFileTypes>();
}

std::optional<std::string> typeFromContent(std::string_view head) {
  if (at(head, 0, "\xFF\xD8\xFF")) return TYPE_JPEG;
  if (at(head, 0, "\x89PNG\r\n\x1A\n")) return "image/png";
  if (at(head, 0, "GIF87a") || at(head, 0, "GIF89a")) return "image/gif";
  if (at(head, 0, std::string_view("II*\0", 4)) || at(head, 0, std::string_view("MM\0*", 4)))
    return "image/tiff";
  if (at(head, 0, "RIFF") && at(head, 8, "WEBP")) return "image/webp";
  if (at(head, 0, "RIFF") && at(head, 8, "AVI ")) return "video/x-msvideo";
  if (at(head, 0, "BM") && head.size() >= 26 && at(head, 6, std::string_view("\0\0\0\0", 4)))
    return "image/bmp";
  if (auto iso = isoType(head)) return iso;
  if (at(head, 0, "\x1A\x45\xDF\xA3"))
    return head.find("webm") != std::string_view::npos ? "video/webm" : "video/x-matroska";
  if (at(head, 0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11")) return "video/x-ms-wmv";
  if (at(head, 0, "FLV\x01")) return "video/x-flv";
  if (at(head, 0, std::string_view("\0\0\x01\xBA", 4))) return "video/mpeg";
  if (at(head, 0, "OggS") && head.find("theora") != std::string_view::npos) return "video/ogg";
  if (at(head, 0, "%PDF-")) return "application/pdf";
  if (at(head, 0, "PK\x03\x04")) return "application/zip";
  if (at(head, 0, "ID3")) return "audio/mpeg";
  return std::nullopt;
}

std::optional<std::string> typeOfFile(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd) return std::nullopt;
  char head[TYPE_HEAD_BYTES];
  ssize_t n = ::pread(fd.get(), head, sizeof head, 0);
  if (n <= 0) return std::nullopt;
  auto found = typeFromContent(std::string_view(head, static_cast<std::size_t>(n)));
  // MPEG transport streams: a sync byte every 188 bytes, further than the head reaches.
  if (!found && n > 0 && head[0] == 0x47) {
    char sync[2] = {0, 0};
    if (::pread(fd.get(), &sync[0], 1, 188) == 1 && ::pread(fd.get(), &sync[1], 1, 376) == 1 &&
        sync[0] == 0x47 && sync[1] == 0x47)
      found = "video/mp2t";
  }
  return found;
}

std::optional<std::string> typeFromExtension(std::string_view extension) {
  std::string ext(extension);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == "jpg" || ext == "jpe") return TYPE_JPEG;
  if (ext == "tif") return "image/tiff";
  if (ext == "hif") return "image/heif";
  if (ext == "qt") return "video/quicktime";
  if (ext == "mpeg" || ext == "m2v") return "video/mpeg";
  if (ext == "mts" || ext == "m2ts") return "video/mp2t";
  if (ext.empty()) return std::nullopt;
  for (const auto& e : TYPES)
    if (e.extension && ext == e.extension) return std::string(e.id);
  return std::nullopt;
}

} // namespace plenk
