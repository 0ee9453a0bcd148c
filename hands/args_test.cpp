#include "hands/args.hpp"
#include "hands/error.hpp"

#include <gtest/gtest.h>
#include <limits>

namespace plenk::hands {
namespace {

TEST(NumberArg, ReadsFiniteNumbersAndBooleansOnly) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    Json value;
    std::optional<double> expected;
  } cases[] = {
      {3, 3.0},
      {-2.5, -2.5},
      {0u, 0.0},
      {true, 1.0},
      {false, 0.0},
      {"12", std::nullopt},
      {nullptr, std::nullopt},
      {Json::array({1}), std::nullopt},
      {Json::object(), std::nullopt},
      {inf, std::nullopt},
      {-inf, std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(numberArg(Json{{"n", c.value}}, "n"), c.expected) << c.value;
    EXPECT_EQ(numberArg(Json{{"m", c.value}}, "n"), std::nullopt);
  }
  EXPECT_EQ(numberArg(Json::array({1}), "n"), std::nullopt);
}

TEST(CountArg, ClampsThenTruncatesAndFallsBackOnNonNumbers) {
  struct Case {
    Json value;
    std::size_t expected;
  } cases[] = {
      {5, 5},       {5.9, 5},  {0.5, 1},  {0, 1},        {-3, 1},      {250, 200},
      {199.9, 199}, {true, 1}, {"7", 40}, {nullptr, 40}, {1e308, 200},
  };
  for (const auto& c : cases)
    EXPECT_EQ(countArg(Json{{"n", c.value}}, "n", 40, 200), c.expected) << c.value;
  EXPECT_EQ(countArg(Json::object(), "n", 40, 200), 40u);
}

TEST(PointArg, ChecksPresenceAndTypeOfBothBeforeRange) {
  struct Case {
    Json args;
    std::optional<Point> point; // nothing: the error below
    const char* error;
  } cases[] = {
      {{{"x", 100000}, {"y", -100000}}, Point{100000, -100000}, nullptr},
      {{{"x", -0.25}, {"y", 7.75}}, Point{-0.25, 7.75}, nullptr},
      {{{"x", true}, {"y", false}}, Point{1, 0}, nullptr},
      {{{"x", 100000.5}, {"y", 0}}, std::nullopt, "That point is nowhere on any screen."},
      {{{"x", 0}, {"y", -100001}}, std::nullopt, "That point is nowhere on any screen."},
      {{{"x", "12"}, {"y", 1}}, std::nullopt, "x and y must be numbers."},
      {{{"y", 1e6}}, std::nullopt, "x and y must be numbers."},
      {{{"x", 1e6}}, std::nullopt, "x and y must be numbers."},
      {{{"x", 1}, {"y", nullptr}}, std::nullopt, "x and y must be numbers."},
      {Json::object(), std::nullopt, "x and y must be numbers."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.dump());
    if (c.point) {
      Point p = pointArg(c.args);
      EXPECT_EQ(p.x, c.point->x);
      EXPECT_EQ(p.y, c.point->y);
      continue;
    }
    try {
      pointArg(c.args);
      ADD_FAILURE() << "no error";
    } catch (const HandsError& e) {
      EXPECT_EQ(e.code, "bad_args");
      EXPECT_EQ(e.message, c.error);
    }
  }
}

} // namespace
} // namespace plenk::hands
