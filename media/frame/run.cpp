#include "media/frame/run.hpp"

#include "media/frame/answer.hpp"
#include "media/frame/constants.hpp"
#include "media/frame/errors.hpp"

#include <algorithm>
#include <string_view>

namespace plenk::media {

namespace {

constexpr const char* CHILD_LOST = "the picker went away without an answer";

Json lostChild(Media&, const Options&) {
  throw MediaError(Code::Work, CHILD_LOST);
}

// The job again, as far as its checks, then the failure: the answer carries its verb and nonce,
// and arguments that were wrong are answered as such.
constexpr VerbEntry LOST_VERBS[] = {{"pick", lostChild}};

// The exit status that an answer line names.
int statusOfAnswer(std::string_view line) {
  auto answer = json::parse(line);
  if (!answer || !answer->is_object()) return EXIT_WORK;
  if (answer->value("ok", false)) return EXIT_OK;
  auto code = codeNamed(answer->value("code", ""));
  return code ? exitStatus(*code) : EXIT_WORK;
}

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

int answerForChild(Media& media, const std::vector<std::string>& args, const ChildJob& child) {
  std::string_view out = child.out;
  if (out.empty() || out.back() != '\n') return runMedia(media, args, LOST_VERBS);
  media.console.writeOut(out);
  if (!child.err.empty()) media.console.writeErr(child.err);
  int status = child.exitCode ? *child.exitCode : statusOfAnswer(out.substr(0, out.find('\n')));
  media.console.exit(status);
  return status;
}

} // namespace plenk::media
