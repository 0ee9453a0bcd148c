// The words of the platform: the few sentences that name the system they run on. The logic
// raises its failures in one wording (the one of the system it was first written for); where
// an answer is written, the platform's table says the same thing in its own words.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace plenk {

// One sentence said otherwise: `before` and `after` are the sentence as raised around its
// variable part (an application's name, a number), or the whole sentence in `before` when it has
// none; `newBefore` and `newAfter` are the same on this platform.
struct Rewording {
  std::string_view before;
  std::string_view after;
  std::string_view newBefore;
  std::string_view newAfter;
  bool variable = false;
};

struct Wording {
  std::span<const Rewording> rows;
  // The label of an unlabelled first menu-bar item (the system's own menu), or none: the item
  // keeps its own label.
  std::optional<std::string_view> systemMenuLabel;

  // The message in this platform's words; a message no row matches as a whole is kept.
  std::string say(std::string_view message) const;
};

// The words the logic raises, unchanged: the simulated desktop, and a macOS build.
Wording macosWording();

} // namespace plenk
