// The pick verb: the user chooses photographs and videos in the system picker, and the chosen
// items are copied into --out. The run ends from inside the session, never by returning.
#include "media/frame/answer.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"
#include "media/frame/paths.hpp"
#include "media/pick/copy.hpp"
#include "media/pick/photo_pick.hpp"
#include "media/verbs.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <memory>

namespace plenk::media {

namespace {

constexpr const char* PICKER_LOST = "the display of the picker went away before the user answered";

// Keeps the session alive while the event loop runs; its loaders hold it only weakly.
std::shared_ptr<PhotoPick> pickKeepAlive;

template <std::size_t N>
std::string oneOf(const Options& opts, const std::string& key, std::string_view absent,
                  const std::array<std::string_view, N>& allowed, const std::string& refusal) {
  auto it = opts.find(key);
  std::string value = it == opts.end() ? std::string(absent) : text::lower(it->second);
  if (std::find(allowed.begin(), allowed.end(), value) == allowed.end())
    throw MediaError(Code::Usage, refusal);
  return value;
}

} // namespace

Json verbPick(Media& media, const Options& opts) {
  if (!media.picker || !media.fileTypes)
    throw MediaError(Code::Unsupported, "choosing from Photos needs macOS 13 or later");
  std::string dir = outDir(media, opts);
  std::int64_t limit = intOpt(opts, "--limit", PICK_DEFAULT_LIMIT, 1, PICK_MAX_LIMIT);
  std::string kinds =
      oneOf(opts, "--kinds", "both", PICK_KINDS, "--kinds must be images, videos or both");
  std::string present =
      oneOf(opts, "--present", "window", PICK_PRESENT, "--present must be window, sheet or modal");

  PickerConfiguration config;
  config.selectionLimit = limit;
  config.filter = kinds == "images"   ? PickerFilter::images
                  : kinds == "videos" ? PickerFilter::videos
                                      : PickerFilter::imagesAndVideos;
  // Items come in their stored format, without conversion.
  config.representation = PickerRepresentation::current;
  if (limit != 1) config.selection = PickerSelection::ordered;

  auto session = std::make_shared<PhotoPick>(
      dir, *media.picker, *media.fileTypes, [&media](const Json& result) { finish(media, result); },
      [&media](const PickJob& job, std::weak_ptr<PhotoPick> weak) {
        startCopy(media, job, std::move(weak));
      },
      [&media] { stop(media, MediaError(Code::Work, PICKER_LOST)); });
  pickKeepAlive = session;
  session->show(config, present);
  media.picker->run();
  // Only an in-memory event loop comes back, after the session has ended the run; a loop that
  // came back without an end is a platform failure, still answered once.
  throw MediaError(Code::Work, "the picker went away without an answer");
}

} // namespace plenk::media
