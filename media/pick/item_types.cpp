#include "media/pick/item_types.hpp"

#include "media/frame/constants.hpp"
#include "media/frame/paths.hpp"

#include <algorithm>
#include <optional>
#include <string_view>

namespace plenk::media {

namespace {

std::optional<std::string> safeExtension(const std::optional<std::string>& extension) {
  if (!extension) return std::nullopt;
  return media::safeExtension(std::string_view(*extension));
}

// The item's registered types that are known and conform to `to`, in the provider's order.
template <typename Visit>
std::optional<std::string> firstConforming(FileTypes& types, ItemProvider& item, const FileType& to,
                                           Visit visit) {
  for (const auto& id : item.registeredTypeIdentifiers()) {
    auto type = types.type(id);
    if (!type || !types.conforms(*type, to)) continue;
    if (auto found = visit(*type)) return found;
  }
  return std::nullopt;
}

} // namespace

std::string movieTypeIdentifier(FileTypes& types, ItemProvider& item) {
  auto found = firstConforming(types, item, types.movie(),
                               [](const FileType& type) -> std::optional<std::string> {
                                 auto ext = safeExtension(type.preferredExtension);
                                 if (ext && isPickVideoExt(*ext)) return type.identifier;
                                 return std::nullopt;
                               });
  return found ? *found : types.movie().identifier;
}

std::string imageTypeIdentifier(FileTypes& types, ItemProvider& item) {
  FileType jpeg = types.jpeg();
  if (item.hasItemConformingTo(jpeg.identifier)) return jpeg.identifier;
  auto found = firstConforming(types, item, types.image(),
                               [](const FileType& type) { return std::optional(type.identifier); });
  return found ? *found : types.image().identifier;
}

std::string imageKind(FileTypes& types, ItemProvider& item) {
  auto found = firstConforming(types, item, types.image(), [](const FileType& type) {
    return safeExtension(type.preferredExtension);
  });
  return found ? *found : "image";
}

bool isPickVideoExt(const std::string& ext) {
  return std::find(PICK_VIDEO_EXT.begin(), PICK_VIDEO_EXT.end(), ext) != PICK_VIDEO_EXT.end();
}

std::string photoName(std::int64_t n) {
  return "photo-" + pad3(n) + ".jpg";
}

std::string videoName(FileTypes& types, const std::string& typeId, std::int64_t n) {
  std::optional<std::string> ext;
  if (auto type = types.type(typeId)) ext = safeExtension(type->preferredExtension);
  return "video-" + pad3(n) + "." + ext.value_or("mov");
}

} // namespace plenk::media
