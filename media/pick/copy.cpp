#include "media/pick/copy.hpp"

#include "media/frame/answer.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/images.hpp"
#include "media/frame/paths.hpp"
#include "media/pick/item_types.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace plenk::media {

namespace {

// A handler runs on a platform thread, outside runMedia: a failure raised in it ends the run
// here (an output failure ends the whole process, whatever the other copies are doing).
template <typename Work> void guarded(Media& media, Work work) {
  try {
    work();
  } catch (const MediaError& error) {
    stop(media, error);
  } catch (const std::exception&) {
    stop(media, MediaError(Code::Work, std::string(HELPER_NAME) + " failed while doing this work"));
  }
}

void leftOut(PhotoPick& session, const char* note) {
  session.addNote(note);
  session.countDown();
}

// A natural size as a whole number of pixels: its absolute value truncated, 0 when unknown.
std::int64_t pixels(double size) {
  if (!std::isfinite(size)) return 0;
  return static_cast<std::int64_t>(std::trunc(std::fabs(size)));
}

} // namespace

ItemProvider::FileHandler loadPhoto(Media& media, std::weak_ptr<PhotoPick> weak, std::string name,
                                    std::int64_t index, std::string kind) {
  return [&media, weak = std::move(weak), name = std::move(name), index,
          kind = std::move(kind)](const std::optional<std::string>& path) {
    auto session = weak.lock();
    if (!session) return;
    guarded(media, [&] {
      if (!path) return leftOut(*session, NOTE_PHOTO_NOT_COPIED);
      // Decoded straight at the reduced size and turned upright by its orientation tag.
      auto picture = media.images.thumbnail(*path, static_cast<int>(PICK_MAX_EDGE));
      if (!picture) return leftOut(*session, NOTE_PHOTO_NOT_OPENED);
      auto encoded = encodeWithin(media.images, *picture, false, DEFAULT_QUALITY, PICK_MAX_BYTES);
      if (!encoded) return leftOut(*session, NOTE_PHOTO_NOT_JPEG);
      std::string out = outFile(media, session->dir, name);
      writeOut(media, encoded->bytes, out, "a photograph chosen in Photos");
      session->store(index, Json{{"file", name},
                                 {"kind", "image"},
                                 {"mime", "image/jpeg"},
                                 {"bytes", encoded->bytes.size()},
                                 {"width", encoded->picture.width},
                                 {"height", encoded->picture.height},
                                 {"from", kind},
                                 {"maxEdge", PICK_MAX_EDGE}});
      session->countDown();
    });
  };
}

ItemProvider::FileHandler loadVideo(Media& media, std::weak_ptr<PhotoPick> weak, std::string name,
                                    std::int64_t index, std::string ext) {
  return [&media, weak = std::move(weak), name = std::move(name), index,
          ext = std::move(ext)](const std::optional<std::string>& path) {
    auto session = weak.lock();
    if (!session) return;
    guarded(media, [&] {
      if (!path) return leftOut(*session, NOTE_VIDEO_NOT_COPIED);
      // A taken name ends the run before anything is copied.
      std::string out = outFile(media, session->dir, name);
      // Copied under a temporary name: a failed copy leaves nothing behind.
      if (!copyOut(media, *path, out)) return leftOut(*session, NOTE_VIDEO_NOT_COPIED);
      RecordingFacts facts = media.recordings.open(out)->facts();
      bool picture = facts.videoTracks > 0;
      session->store(index,
                     Json{{"file", name},
                          {"kind", "video"},
                          {"mime", ext == "mp4" || ext == "m4v" ? "video/mp4" : "video/quicktime"},
                          {"bytes", fileSize(media, out)},
                          {"duration", num(facts.duration)},
                          {"width", picture ? pixels(facts.width) : 0},
                          {"height", picture ? pixels(facts.height) : 0},
                          {"audioTracks", facts.audioTracks},
                          {"supported", isPickVideoExt(ext)}});
      session->countDown();
    });
  };
}

void startCopy(Media& media, const PickJob& job, std::weak_ptr<PhotoPick> session) {
  if (job.video) {
    auto dot = job.name.rfind('.');
    std::string ext = text::lower(dot == std::string::npos ? "" : job.name.substr(dot + 1));
    job.provider->loadFileRepresentation(
        job.typeId, loadVideo(media, std::move(session), job.name, job.index, std::move(ext)));
  } else {
    std::string kind = imageKind(*media.fileTypes, *job.provider);
    job.provider->loadFileRepresentation(
        job.typeId, loadPhoto(media, std::move(session), job.name, job.index, std::move(kind)));
  }
}

} // namespace plenk::media
