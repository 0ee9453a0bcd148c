#include "hands/channel.hpp"

#include "hands/constants.hpp"
#include "hands/dispatch.hpp"
#include "hands/main_queue.hpp"
#include "platform/fd.hpp"

#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>

namespace plenk::hands {

namespace {

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
  LineReader reader;
  auto answer = [&](int tooLong) {
    for (; tooLong > 0; --tooLong)
      answerTooLong(channel);
  };
  // All the requests completed by one read go to the main thread as one task.
  auto handOn = [&] {
    std::shared_ptr<LineChunk> chunk = reader.take();
    if (!chunk) return;
    queue.post([&hands, &channel, chunk] {
      for (std::string_view line : chunk->lines) {
        // A request that throws has lost its own answer; the ones behind it still run.
        try {
          handleLine(hands, channel, line);
        } catch (...) {
        }
      }
    });
  };
  for (;;) {
    std::span<char> space = reader.space();
    ssize_t n = ::read(inFd, space.data(), space.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    answer(reader.received(static_cast<std::size_t>(n)));
    handOn();
  }
  answer(reader.finish());
  handOn();
}

void writeBytes(Channel& channel, std::string_view bytes) noexcept {
  std::lock_guard<std::mutex> hold(channel.outLock);
  // A failure means the host is gone; nothing is left to tell it.
  if (writeAll(channel.outFd, bytes)) writeAll(channel.outFd, "\n");
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
    std::string line(HELPER_NAME);
    line.append(": ").append(message);
    line += '\n';
    writeAll(channel.errFd, line);
  } catch (...) {
  }
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
  ++channel.unanswered;
  dispatchVerb(hands, verb, args,
               [&channel, id](std::optional<Json> result, std::optional<HandsError> error) {
                 respond(channel, std::move(*id), std::move(result), std::move(error));
                 if (channel.unanswered > 0 && --channel.unanswered == 0 && channel.end)
                   channel.end();
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
    // Behind the waiting requests; an answer still to come (open_app's) is waited for, within
    // the time that verb gives itself.
    queue->post([&channel, q = queue.get()] {
      channel.end = [q] { q->stop(); };
      if (channel.unanswered == 0) channel.end();
    });
  });
  diag(channel, "ready (protocol " + std::to_string(PROTOCOL_VERSION) + ", version " +
                    std::string(HELPER_VERSION) + ")");
  queue->run();
  reader.join();
  return 0;
}

} // namespace plenk::hands
