#include "media/frame/errors.hpp"

#include "media/frame/constants.hpp"

#include <iterator>

namespace plenk::media {

namespace {
struct CodeRow {
  std::string_view name;
  int status;
};
// Indexed by Code.
constexpr CodeRow CODES[] = {
    {"E_USAGE", EXIT_USAGE},      {"E_INPUT", EXIT_INPUT},       {"E_WORK", EXIT_WORK},
    {"E_UNSUPPORTED", EXIT_WORK}, {"E_DEADLINE", EXIT_DEADLINE}, {"E_OUT", EXIT_OUT},
};
} // namespace

std::string_view codeName(Code code) {
  return CODES[static_cast<int>(code)].name;
}
int exitStatus(Code code) {
  return CODES[static_cast<int>(code)].status;
}
std::optional<Code> codeNamed(std::string_view name) {
  for (int i = 0; i < static_cast<int>(std::size(CODES)); ++i)
    if (CODES[i].name == name) return static_cast<Code>(i);
  return std::nullopt;
}

} // namespace plenk::media
