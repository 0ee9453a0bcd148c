#include "hands/args.hpp"

#include "hands/error.hpp"

#include <algorithm>
#include <cmath>

namespace plenk::hands {

namespace {
constexpr double MAX_COORDINATE = 100000;
}

std::optional<double> numberArg(const Json& args, std::string_view key) {
  if (!args.is_object()) return std::nullopt;
  auto it = args.find(key);
  if (it == args.end()) return std::nullopt;
  double value;
  if (it->is_boolean())
    value = it->get<bool>() ? 1 : 0;
  else if (it->is_number())
    value = it->get<double>();
  else
    return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

std::size_t countArg(const Json& args, std::string_view key, std::size_t fallback,
                     std::size_t most) {
  auto m = numberArg(args, key);
  if (!m) return fallback;
  double clamped = std::max(std::min(*m, static_cast<double>(most)), 1.0);
  return static_cast<std::size_t>(std::trunc(clamped));
}

Point pointArg(const Json& args) {
  auto x = numberArg(args, "x");
  auto y = numberArg(args, "y");
  if (!x || !y) throw HandsError{"bad_args", "x and y must be numbers."};
  if (std::fabs(*x) > MAX_COORDINATE || std::fabs(*y) > MAX_COORDINATE)
    throw HandsError{"bad_args", "That point is nowhere on any screen."};
  return {*x, *y};
}

} // namespace plenk::hands
