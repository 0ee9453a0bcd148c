// Copying chosen items out of the picker into the --out directory: a photograph becomes an
// upright JPEG within PICK_MAX_EDGE and PICK_MAX_BYTES, a video is copied byte for byte.
#pragma once

#include "media/context.hpp"
#include "media/pick/photo_pick.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace plenk::media {

inline constexpr const char* NOTE_VIDEO_NOT_COPIED =
    "One video could not be copied out of Photos, so it was left out.";
inline constexpr const char* NOTE_PHOTO_NOT_COPIED =
    "One photograph could not be copied out of Photos, so it was left out.";
inline constexpr const char* NOTE_PHOTO_NOT_OPENED =
    "One photograph could not be opened, so it was left out.";
inline constexpr const char* NOTE_PHOTO_NOT_JPEG =
    "One photograph could not be turned into a JPEG, so it was left out.";

// The handler of a photograph's load; kind is its stored format ("from").
ItemProvider::FileHandler loadPhoto(Media& media, std::weak_ptr<PhotoPick> session,
                                    std::string name, std::int64_t index, std::string kind);

// The handler of a video's load; ext is the lower-cased extension of its name.
ItemProvider::FileHandler loadVideo(Media& media, std::weak_ptr<PhotoPick> session,
                                    std::string name, std::int64_t index, std::string ext);

// Starts the load of one job with the handler of its kind.
void startCopy(Media& media, const PickJob& job, std::weak_ptr<PhotoPick> session);

} // namespace plenk::media
