// How AT-SPI roles read as the desktop's role names ("AXButton", "AXTextField" ...): one table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plenk::atspi {

// What an AT-SPI element is called, given its role number and the few facts that decide between
// two names: its state bits (AtspiStateType positions) and its parent's role.
struct RoleName {
  std::string_view role;                   // "AXButton"; "AXUnknown" for roles without a match
  std::optional<std::string_view> subrole; // "AXSecureTextField", "AXTabButton"
};

// The AtspiStateType bits the table looks at.
inline constexpr std::uint64_t STATE_BIT(int state) {
  return std::uint64_t{1} << state;
}

RoleName roleName(std::uint32_t atspiRole, std::uint64_t states, std::uint32_t parentRole);

// Whether the table has an entry for this role (the rest read as "AXUnknown").
bool roleKnown(std::uint32_t atspiRole);

// Roles whose own text is their content: documents and the blocks inside them (paragraphs,
// sections, headings, cells, pages). Their Text interface holds it, one embedded-object character
// standing for each child; their accessible name, where they have one, is no stand-in for it.
bool textIsContent(std::uint32_t atspiRole);

// The AT-SPI name of a role number, for reports ("push button"); "" when out of range.
std::string_view atspiRoleName(std::uint32_t atspiRole);

} // namespace plenk::atspi
