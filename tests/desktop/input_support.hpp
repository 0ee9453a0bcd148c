// The input tests' probe window, which says on its output what reached it.
#pragma once

#include "desktop.hpp"
#include "platform/json.hpp"
#include "tests/pipes.hpp"
#include "tests/support/paths.hpp"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plenk::testing {

// Stops the test with a clear message outside a desktop session.
#define REQUIRE_DESKTOP() ASSERT_EQ(::plenk::desktop::sessionProblem(), "")

// The output lines of a child as JSON objects, read from where the last look stopped.
class JsonLines {
public:
  explicit JsonLines(Child& child) : child_(child) {}

  // The first new line that `match` accepts, waiting up to `timeoutMs`; null when none came.
  Json waitFor(const std::function<bool(const Json&)>& match, int timeoutMs = 5000) {
    Json found;
    child_.pump(
        "", false,
        [&] {
          for (;;) {
            auto nl = child_.out.find('\n', read_);
            if (nl == std::string::npos) return false;
            auto line = child_.out.substr(read_, nl - read_);
            read_ = nl + 1;
            auto value = json::parse(line);
            if (value && value->is_object() && match(*value)) {
              found = *value;
              return true;
            }
          }
        },
        timeoutMs);
    return found;
  }

  // Every new line, after waiting `ms` for stragglers.
  std::vector<Json> drain(int ms) {
    child_.pump(
        "", false, [] { return false; }, ms);
    std::vector<Json> out;
    for (;;) {
      auto nl = child_.out.find('\n', read_);
      if (nl == std::string::npos) return out;
      auto value = json::parse(child_.out.substr(read_, nl - read_));
      read_ = nl + 1;
      if (value) out.push_back(*value);
    }
  }

private:
  Child& child_;
  std::size_t read_ = 0;
};

inline std::function<bool(const Json&)> event(const std::string& name) {
  return [name](const Json& j) { return j.value("event", "") == name; };
}

// The probe window of a GTK version ("3" or "4"), shown and ready.
struct Probe {
  Child child;
  JsonLines lines{child};
  Json widgets;

  explicit Probe(const std::string& gtk)
      : child({"/usr/bin/python3", sourceDir() + "/tests/desktop/apps/input_probe.py", gtk}) {
    auto ready = lines.waitFor(event("ready"), 20000);
    if (!ready.is_object()) return;
    // A Wayland client knows only its own coordinates: the compositor says where the window is.
    if (ready.value("relative", false)) {
      auto window = desktop::compositorWindow("plenk input probe " + gtk);
      if (!window) return;
      for (auto& [name, b] : ready["widgets"].items()) {
        b[0] = b[0].get<int>() + int(window->rect.x);
        b[1] = b[1].get<int>() + int(window->rect.y);
      }
    }
    widgets = ready["widgets"];
  }
  bool ready() const { return widgets.is_object(); }
  // The centre of a widget, or a point at an offset from its top left.
  Json at(const std::string& name, int dx = -1, int dy = -1) const {
    const auto& b = widgets[name];
    int x = b[0].get<int>() + (dx < 0 ? b[2].get<int>() / 2 : dx);
    int y = b[1].get<int>() + (dy < 0 ? b[3].get<int>() / 2 : dy);
    return {{"x", x}, {"y", y}};
  }
};

inline Json okAnswer(int id) {
  return {{"id", id}, {"ok", true}, {"result", Json::object()}};
}

// The keyboard map as xmodmap prints it.
inline std::string keyboardMap() {
  return desktop::shell("xmodmap -pke");
}

} // namespace plenk::testing

namespace plenk::testing {

using desktop::activeWindowTitle;

// Undoes encodeURIComponent.
inline std::string percentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

} // namespace plenk::testing
