// The one failure value of plenk-media: a code, tied to one exit status, and a sentence for the
// user. Raised (thrown) where a failure is found; runMedia turns it into the answer through stop.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace plenk::media {

enum class Code { Usage, Input, Work, Unsupported, Deadline, Out };

// "E_USAGE", "E_INPUT", "E_WORK", "E_UNSUPPORTED", "E_DEADLINE", "E_OUT".
std::string_view codeName(Code code);
// 2, 3, 4, 4, 5, 6.
int exitStatus(Code code);
// The code of a name that codeName gives; none for any other text.
std::optional<Code> codeNamed(std::string_view name);

struct MediaError : std::exception {
  MediaError(Code c, std::string m) : code(c), message(std::move(m)) {}
  const char* what() const noexcept override { return message.c_str(); }

  Code code;
  std::string message; // starts with a small letter, no final full stop
};

} // namespace plenk::media
