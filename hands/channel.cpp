#include "hands/channel.hpp"

#include "hands/constants.hpp"
#include "hands/dispatch.hpp"
#include "hands/main_queue.hpp"
#include "platform/text.hpp"

#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace plenk::hands {

namespace {

// A raw line longer than this is refused without being kept: no trimming of white space could
// bring it under the limit in practice, and keeping it would let one line exhaust memory.
constexpr std::size_t MAX_RAW_LINE_BYTES = 16 * MAX_LINE_BYTES;

void writeAll(int fd, const char* data, std::size_t size) noexcept {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return; // the host is gone; nothing is left to tell it
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

Json failure(Json id, std::string_view code, std::string_view message) {
  Json answer = Json::object();
  answer["id"] = std::move(id);
  answer["ok"] = false;
  answer["code"] = code;
  answer["error"] = message;
  return answer;
}

std::string encode(Json& answer) {
  if (auto text = json::writeCompact(answer)) return std::move(*text);
  // Moved, not copied: an id nested very deep must not be copied recursively.
  Json id;
  if (answer.is_object())
    if (auto it = answer.find("id"); it != answer.end()) id = std::move(*it);
  Json replacement =
      failure(std::move(id), "helper_failed", "The helper built an answer it could not encode.");
  if (auto text = json::writeCompact(replacement)) return std::move(*text);
  return "{}";
}

void readerLoop(Hands& hands, Channel& channel, MainQueue& queue, int inFd) {
  std::vector<char> buffer(1 << 16);
  std::string line;
  bool overlong = false;
  // The requests finished by one read go to the main thread together: one wake-up, not one each.
  std::vector<std::function<void()>> ready;
  auto finish = [&] {
    if (overlong) {
      answerTooLong(channel);
    } else {
      // A right-sized copy: the buffer keeps its capacity for the next line, and a queue of many
      // short requests holds only their bytes.
      ScreenedLine screened = screenLine(std::string(line));
      if (screened.kind == LineKind::TooLong)
        answerTooLong(channel);
      else if (screened.kind == LineKind::Request)
        ready.emplace_back([&hands, &channel, text = std::move(screened.text)] {
          handleLine(hands, channel, text);
        });
    }
    line.clear();
    overlong = false;
  };
  bool pending = false; // bytes of an unfinished line have been read
  for (;;) {
    ssize_t n = ::read(inFd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    const char* p = buffer.data();
    const char* end = p + n;
    while (p < end) {
      const char* nl =
          static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      const char* stop = nl ? nl : end;
      auto size = static_cast<std::size_t>(stop - p);
      if (!overlong) {
        if (line.size() + size > MAX_RAW_LINE_BYTES) {
          overlong = true;
          std::string().swap(line);
        } else {
          line.append(p, size);
        }
      }
      pending = true;
      if (!nl) break;
      finish();
      pending = false;
      p = nl + 1;
    }
    queue.postAll(ready);
  }
  if (pending) finish();
  queue.postAll(ready);
}

void writeBytes(Channel& channel, std::string_view bytes) noexcept {
  std::lock_guard<std::mutex> hold(channel.outLock);
  writeAll(channel.outFd, bytes.data(), bytes.size());
  writeAll(channel.outFd, "\n", 1);
}

} // namespace

void writeLine(Channel& channel, Json answer) noexcept {
  try {
    std::string bytes = encode(answer);
    writeBytes(channel, bytes);
  } catch (...) {
    writeBytes(channel, "{}");
  }
}

void respond(Channel& channel, Json id, std::optional<Json> result,
             std::optional<HandsError> error) noexcept {
  try {
    if (error) {
      writeLine(channel, failure(std::move(id), error->code, error->message));
      return;
    }
    Json answer = Json::object();
    answer["id"] = std::move(id);
    answer["ok"] = true;
    answer["result"] = result && !result->is_null() ? std::move(*result) : Json::object();
    writeLine(channel, std::move(answer));
  } catch (...) {
    writeBytes(channel, "{}");
  }
}

void answerTooLong(Channel& channel) noexcept {
  try {
    writeLine(channel, failure(nullptr, "bad_request", "That request is too long."));
  } catch (...) {
  }
}

void diag(Channel& channel, std::string_view message) noexcept {
  try {
    std::string line = "plenk-hands: ";
    line.append(message);
    line += '\n';
    writeAll(channel.errFd, line.data(), line.size());
  } catch (...) {
  }
}

ScreenedLine screenLine(std::string raw) {
  // Most lines are valid and untrimmed: they pass through without a copy.
  if (!text::isValidUtf8(raw)) raw = text::sanitizeUtf8(raw);
  std::string_view trimmed = text::trim(raw);
  if (trimmed.empty()) return {LineKind::Blank, {}};
  if (trimmed.size() > MAX_LINE_BYTES) return {LineKind::TooLong, {}};
  if (trimmed.size() != raw.size()) {
    std::size_t begin = static_cast<std::size_t>(trimmed.data() - raw.data());
    raw.erase(begin + trimmed.size());
    raw.erase(0, begin);
  }
  return {LineKind::Request, std::move(raw)};
}

void handleLine(Hands& hands, Channel& channel, std::string_view line) {
  std::optional<Json> parsed = json::parse(line);
  if (!parsed || !parsed->is_object()) {
    writeLine(channel, failure(nullptr, "bad_request", "That line was not a JSON object."));
    return;
  }
  Json& request = *parsed;
  // Shared, so that copies of the completion never copy the id (which may be nested very deep).
  auto id = std::make_shared<Json>();
  if (auto it = request.find("id"); it != request.end()) *id = std::move(*it);
  std::string verb;
  if (auto it = request.find("verb"); it != request.end() && it->is_string())
    verb = std::move(it->get_ref<std::string&>());
  Json args = Json::object();
  if (auto it = request.find("args"); it != request.end() && it->is_object()) args = std::move(*it);
  dispatchVerb(hands, verb, args,
               [&channel, id](std::optional<Json> result, std::optional<HandsError> error) {
                 respond(channel, std::move(*id), std::move(result), std::move(error));
               });
}

int runHands(Hands& hands, int inFd, int outFd, int errFd) {
  auto queue = std::make_shared<MainQueue>();
  Channel channel;
  channel.outFd = outFd;
  channel.errFd = errFd;
  // The home folder is asked for once: the folders stay as they were at start-up.
  hands.appDirs = appDirsFor(hands.workspace.homeDirectory());
  // The queue outlives this call for platform threads that still hold the poster.
  hands.postToMain = [queue](std::function<void()> task) { queue->post(std::move(task)); };
  std::thread reader([&] {
    readerLoop(hands, channel, *queue, inFd);
    queue->post([q = queue.get()] { q->stop(); });
  });
  diag(channel, "ready (protocol " + std::to_string(PROTOCOL_VERSION) + ", version " +
                    std::string(HELPER_VERSION) + ")");
  queue->run();
  reader.join();
  return 0;
}

} // namespace plenk::hands
