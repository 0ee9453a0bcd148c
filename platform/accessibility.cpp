#include "platform/accessibility.hpp"

#include <array>

namespace plenk {

namespace {
constexpr std::array<std::pair<AxStatus, std::string_view>, 8> STATUS_NAMES{{
    {AxStatus::ok, "ok"},
    {AxStatus::failure, "failure"},
    {AxStatus::attributeUnsupported, "attributeUnsupported"},
    {AxStatus::noValue, "noValue"},
    {AxStatus::cannotComplete, "cannotComplete"},
    {AxStatus::invalidElement, "invalidElement"},
    {AxStatus::notImplemented, "notImplemented"},
    {AxStatus::apiDisabled, "apiDisabled"},
}};
} // namespace

std::string_view axStatusName(AxStatus status) {
  for (const auto& [s, name] : STATUS_NAMES)
    if (s == status) return name;
  return "failure";
}

std::optional<AxStatus> axStatusFromName(std::string_view name) {
  for (const auto& [s, n] : STATUS_NAMES)
    if (n == name) return s;
  return std::nullopt;
}

} // namespace plenk
