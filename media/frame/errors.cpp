#include "media/frame/errors.hpp"

#include "media/frame/constants.hpp"

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

} // namespace plenk::media
