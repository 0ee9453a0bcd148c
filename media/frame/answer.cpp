#include "media/frame/answer.hpp"

#include "media/frame/constants.hpp"
#include "media/frame/paths.hpp"

#include <cmath>
#include <string>

namespace plenk::media {

namespace {

// True for the one end that may write the final line. The winner removes the temporaries of
// outputs still being written: none of them can be finished now.
bool claim(Media& media) {
  if (media.run.ended.exchange(true)) return false;
  dropAllTemporaries(media);
  return true;
}

int deadlinePassed(Media& media, std::int64_t millis) {
  if (!claim(media)) return media.console.waitForEnd();
  std::string n = std::to_string(millis);
  writeErr(media, std::string(HELPER_NAME) + ": the deadline of " + n +
                      " ms passed before the work finished");
  emit(media, {{"ok", false},
               {"code", codeName(Code::Deadline)},
               {"message", "macOS did not finish this within " + n + " ms"}});
  media.console.exit(EXIT_DEADLINE);
  return EXIT_DEADLINE;
}

} // namespace

Json num(double x) {
  return std::isfinite(x) ? Json(x) : Json(nullptr);
}

void writeErr(Media& media, std::string_view line) {
  std::string bytes(line);
  bytes += '\n';
  media.console.writeErr(bytes);
}

void emit(Media& media, const Json& result) {
  Json line = {{"helper", HELPER_NAME},
               {"protocol", PROTOCOL_VERSION},
               {"version", HELPER_VERSION},
               {"nonce", media.run.envelopeNonce},
               {"verb", media.run.envelopeVerb}};
  if (result.is_object())
    for (const auto& [key, value] : result.items())
      line[key] = value;
  auto text = json::writeSorted(line);
  media.console.writeOut(text ? std::string_view(*text) : FALLBACK_LINE);
  media.console.writeOut("\n");
}

int finish(Media& media, const Json& result) {
  if (!claim(media)) return media.console.waitForEnd();
  Json answer = {{"ok", true}};
  if (result.is_object())
    for (const auto& [key, value] : result.items())
      answer[key] = value;
  emit(media, answer);
  media.console.exit(EXIT_OK);
  return EXIT_OK;
}

int stop(Media& media, const MediaError& error) {
  if (!claim(media)) return media.console.waitForEnd();
  writeErr(media, std::string(HELPER_NAME) + ": " + error.message);
  emit(media, {{"ok", false}, {"code", codeName(error.code)}, {"message", error.message}});
  int status = exitStatus(error.code);
  media.console.exit(status);
  return status;
}

void armDeadline(Media& media, std::int64_t millis) {
  media.timer.once(millis, [&media, millis] { deadlinePassed(media, millis); });
}

} // namespace plenk::media
