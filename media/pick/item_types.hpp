// Which representation of a chosen item to ask for, what the copy is called, and which stored
// format a photograph came in.
#pragma once

#include "platform/picker.hpp"

#include <cstdint>
#include <string>

namespace plenk::media {

// The first registered movie type whose extension is mov, mp4 or m4v; else the generic movie.
std::string movieTypeIdentifier(FileTypes& types, ItemProvider& item);

// JPEG when the item has it; else its first registered image type; else the generic image.
std::string imageTypeIdentifier(FileTypes& types, ItemProvider& item);

// The lower-cased extension of the item's first registered image type that has a safe one, or
// "image": the stored format reported as "from".
std::string imageKind(FileTypes& types, ItemProvider& item);

// Whether a lower-cased extension is one of the video formats preferred when loading (mov, mp4,
// m4v); it also decides "supported".
bool isPickVideoExt(const std::string& ext);

// "photo-001.jpg" for n = 1: always JPEG, whatever the stored format.
std::string photoName(std::int64_t n);

// "video-001.mov" for n = 1 and a QuickTime type: the extension is the type's own when it is
// safe in a file name, else "mov".
std::string videoName(FileTypes& types, const std::string& typeId, std::int64_t n);

} // namespace plenk::media
