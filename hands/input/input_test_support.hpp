// Tests of the input verbs: a Hands over an in-memory desktop whose clock the logic sleeps on,
// and the posted events written as short lines, each stamped with milliseconds of that clock.
#pragma once

#include "hands/context.hpp"
#include "hands/error.hpp"
#include "platform/json.hpp"
#include "platform/memory/desktop.hpp"
#include "platform/text.hpp"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace plenk::hands {

struct InputFixture {
  MemoryDesktop desktop;
  Hands hands{
      desktop, desktop, desktop, desktop.clock(), [](std::function<void()> task) { task(); }, {}};
  InputFixture() { desktop.trusted = true; }
};

inline std::string number(double value) {
  if (value == std::floor(value)) return std::to_string(static_cast<long long>(value));
  std::string text = std::to_string(value);
  while (text.back() == '0')
    text.pop_back();
  return text;
}

// "<ms> key <code> down|up [flags=0x..] [\"text\"]", "<ms> <mouse type> x,y <button> click=<n>",
// "<ms> scroll v=<n> h=<n> [at x,y]". Flags show only when set.
inline std::string line(const PostedEvent& posted) {
  std::string out = number(std::round(posted.at * 1e6) / 1e3) + " ";
  std::visit(
      [&](const auto& e) {
        using E = std::decay_t<decltype(e)>;
        auto flags = [&] {
          if (e.flags == 0) return std::string();
          char hex[32];
          std::snprintf(hex, sizeof hex, " flags=0x%llx", static_cast<unsigned long long>(e.flags));
          return std::string(hex);
        };
        if constexpr (std::is_same_v<E, KeyEvent>) {
          out += "key " + std::to_string(e.keyCode) + (e.down ? " down" : " up") + flags();
          if (!e.text.empty()) out += " \"" + text::fromUtf16(e.text) + "\"";
        } else if constexpr (std::is_same_v<E, MouseEvent>) {
          out += std::string(mouseEventTypeName(e.type)) + " " + number(e.point.x) + "," +
                 number(e.point.y) + (e.button == MouseButton::right ? " right" : " left") +
                 " click=" + std::to_string(e.clickState) + flags();
        } else {
          out += "scroll v=" + std::to_string(e.vertical) + " h=" + std::to_string(e.horizontal);
          if (e.location) out += " at " + number(e.location->x) + "," + number(e.location->y);
          out += flags();
        }
      },
      posted.event);
  return out;
}

inline std::vector<std::string> eventLines(MemoryDesktop& desktop) {
  std::vector<std::string> out;
  for (const auto& posted : desktop.events())
    out.push_back(line(posted));
  return out;
}

// The error a verb throws; fails the test when it throws none.
template <class Verb> HandsError errorOf(Verb&& verb) {
  try {
    verb();
  } catch (const HandsError& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return {};
}

inline void expectError(const HandsError& error, std::string_view code, std::string_view message) {
  EXPECT_EQ(error.code, code);
  EXPECT_EQ(error.message, message);
}

// A request that a verb refuses before it posts anything.
struct Refusal {
  Json args;
  bool trusted;
  std::string code;
  std::string message;
};

// Each refusal gives its error, posts no event and spends no time.
template <class Verb>
void expectRefusals(InputFixture& fixture, std::span<const Refusal> refusals, Verb&& verb) {
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.args.dump());
    fixture.desktop.trusted = r.trusted;
    expectError(errorOf([&] { verb(r.args); }), r.code, r.message);
    EXPECT_TRUE(fixture.desktop.events().empty());
    EXPECT_EQ(fixture.desktop.elapsed(), 0);
  }
}

} // namespace plenk::hands
