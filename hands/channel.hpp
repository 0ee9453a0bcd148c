// The line channel of plenk-hands: request lines in, one answer line out for each.
#pragma once

#include "hands/context.hpp"
#include "hands/error.hpp"
#include "hands/line_reader.hpp"
#include "platform/json.hpp"

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace plenk::hands {

// Where answers and diagnostics go. `outLock` keeps the two writes of one answer together.
struct Channel {
  int outFd = 1;
  int errFd = 2;
  std::mutex outLock;
  // Main thread only: requests dispatched whose answer has not been written (open_app answers
  // later), and what ends the run once input has ended and none is left.
  std::size_t unanswered = 0;
  std::function<void()> end;
};

// Writes `answer` as one compact line. An answer that cannot be encoded becomes the
// "helper_failed" answer with the same `id`, and "{}" if even that fails. Never throws;
// callable from any thread; the line is on the file descriptor when it returns.
void writeLine(Channel& channel, Json answer) noexcept;

// The success shape (result, or {} without one) or, when `error` is present, the failure shape.
void respond(Channel& channel, Json id, std::optional<Json> result,
             std::optional<HandsError> error) noexcept;

// Parses one screened line and dispatches it; answers "bad_request" itself when the line is not a
// JSON object. Runs on the main thread.
void handleLine(Hands& hands, Channel& channel, std::string_view line);

// "plenk-hands: " + message + line feed on standard error, in one write.
void diag(Channel& channel, std::string_view message) noexcept;

// The answer the reader gives a line over MAX_LINE_BYTES.
void answerTooLong(Channel& channel) noexcept;

// The whole program over the given services and descriptors: ready line, reader thread, main
// task queue on the calling thread; returns 0 once end of input is reached and every request
// accepted before it is answered. Sets hands.postToMain and hands.appDirs (from the home folder).
int runHands(Hands& hands, int inFd, int outFd, int errFd);

} // namespace plenk::hands
