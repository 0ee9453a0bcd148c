// Readers of verb arguments shared by many verbs.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/json.hpp"

#include <cstddef>
#include <optional>
#include <string_view>

namespace plenk::hands {

// The finite number under `key` (true is 1, false 0); nothing when absent, not a number or not
// finite. Never throws: each caller decides what nothing means.
std::optional<double> numberArg(const Json& args, std::string_view key);

// The number under `key` clamped to 1 .. `most` and truncated to a whole number; `fallback` when it
// is absent or not a finite number.
std::size_t countArg(const Json& args, std::string_view key, std::size_t fallback,
                     std::size_t most);

// `x` and `y` as a point; throws HandsError "bad_args" when either is not a finite number or lies
// farther than 100000 points from the origin on its axis.
Point pointArg(const Json& args);

} // namespace plenk::hands
