#include "hands/args.hpp"

#include "hands/error.hpp"

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

Point pointArg(const Json& args) {
  auto x = numberArg(args, "x");
  auto y = numberArg(args, "y");
  if (!x || !y) throw HandsError{"bad_args", "x and y must be numbers."};
  if (std::fabs(*x) > MAX_COORDINATE || std::fabs(*y) > MAX_COORDINATE)
    throw HandsError{"bad_args", "That point is nowhere on any screen."};
  return {*x, *y};
}

} // namespace plenk::hands
