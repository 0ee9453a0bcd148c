// Types of photographs and videos told from a file's content, named by their media types
// ("image/heic", "video/quicktime"), with the parent types each conforms to.
#pragma once

#include "platform/picker.hpp"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plenk {

// The generic types every picture and every moving picture conforms to.
inline constexpr const char* TYPE_IMAGE = "image/*";
inline constexpr const char* TYPE_MOVIE = "video/*";
inline constexpr const char* TYPE_JPEG = "image/jpeg";

std::unique_ptr<FileTypes> linuxFileTypes();

// How many leading bytes typeFromContent looks at.
inline constexpr std::size_t TYPE_HEAD_BYTES = 64;
// The type that a file's first bytes show; nothing when they show no type known here.
std::optional<std::string> typeFromContent(std::string_view head);
// The type of the file at path from its content; nothing when it cannot be read or is unknown.
std::optional<std::string> typeOfFile(const std::string& path);
// The type a file-name extension usually stands for (any case); nothing when unknown.
std::optional<std::string> typeFromExtension(std::string_view extension);

} // namespace plenk
