#include "media/frame/answer.hpp"

#include "media/frame/constants.hpp"
#include "media/frame/paths.hpp"

#include <cmath>
#include <string>

namespace plenk::media {

namespace {

// Standard error carries one line: a control character in a message (a line break in a verb
// that was not known, say) is written as its escape.
std::string oneLine(std::string_view message) {
  std::string line;
  for (unsigned char c : message) {
    if (c >= 0x20 && c != 0x7f) {
      line += static_cast<char>(c);
      continue;
    }
    static constexpr char HEX[] = "0123456789abcdef";
    switch (c) {
    case '\n':
      line += "\\n";
      break;
    case '\r':
      line += "\\r";
      break;
    case '\t':
      line += "\\t";
      break;
    default:
      line += "\\x";
      line += HEX[c >> 4];
      line += HEX[c & 15];
    }
  }
  return line;
}

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
  writeErr(media, "the deadline of " + n + " ms passed before the work finished");
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

void writeErr(Media& media, std::string_view message) {
  std::string bytes = std::string(HELPER_NAME) + ": " + oneLine(media.wording.say(message));
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
  // The sentences for the user, in the platform's words.
  if (line.contains("message") && line["message"].is_string())
    line["message"] = media.wording.say(line["message"].get<std::string>());
  if (line.contains("notes") && line["notes"].is_array())
    for (auto& note : line["notes"])
      if (note.is_string()) note = media.wording.say(note.get<std::string>());
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
  writeErr(media, error.message);
  emit(media, {{"ok", false}, {"code", codeName(error.code)}, {"message", error.message}});
  int status = exitStatus(error.code);
  media.console.exit(status);
  return status;
}

void armDeadline(Media& media, std::int64_t millis) {
  media.timer.once(millis, [&media, millis] { deadlinePassed(media, millis); });
}

} // namespace plenk::media
