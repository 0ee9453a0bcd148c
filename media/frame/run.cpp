#include "media/frame/run.hpp"

#include "media/frame/answer.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"

#include <algorithm>

namespace plenk::media {

namespace {
constexpr VerbEntry VERBS[] = {
    {"probe", verbProbe},   {"inspect", verbInspect}, {"pdftext", verbPdfText}, {"ocr", verbOCR},
    {"frames", verbFrames}, {"audio", verbAudio},     {"pick", verbPick, true},
};
} // namespace

std::span<const VerbEntry> mediaVerbs() {
  return VERBS;
}

int runMedia(Media& media, const std::vector<std::string>& rawArgs,
             std::span<const VerbEntry> verbs) {
  RunState& run = media.run;
  run.envelopeVerb.clear();
  run.envelopeNonce.clear();
  run.ended = false;
  // The verb and nonce are taken before any check, so every failure envelope carries them.
  if (!rawArgs.empty() && !rawArgs[0].starts_with('-')) run.envelopeVerb = rawArgs[0];
  for (std::size_t scan = 1; scan + 1 < rawArgs.size(); scan += 2) {
    if (rawArgs[scan] == "--nonce") {
      run.envelopeNonce = rawArgs[scan + 1];
      break;
    }
  }
  try {
    CommandLine line = parseArgs(rawArgs);
    armDeadline(media, intOpt(line.opts, "--deadline", DEADLINE_DEFAULT_MS, DEADLINE_MIN_MS,
                              DEADLINE_MAX_MS));
    auto entry = std::find_if(verbs.begin(), verbs.end(),
                              [&](const VerbEntry& v) { return v.name == line.verb; });
    if (entry == verbs.end()) throw MediaError(Code::Usage, "there is no verb called " + line.verb);
    if (entry->needsPicker && !media.system.canPick())
      throw MediaError(Code::Unsupported, "choosing from Photos needs macOS 13 or later");
    return finish(media, entry->handler(media, line.opts));
  } catch (const MediaError& error) {
    return stop(media, error);
  } catch (const std::exception&) {
    // Out of memory or a library's own exception: still one answer, never a crash.
    return stop(media,
                MediaError(Code::Work, std::string(HELPER_NAME) + " failed while doing this work"));
  }
}

} // namespace plenk::media
