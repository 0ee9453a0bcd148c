// A small desktop for the screen-reading tests: one trusted application in front with one
// window, and helpers to hang elements under it.
#pragma once

#include "hands/context.hpp"
#include "platform/memory/desktop.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace plenk::hands::testing {

inline Attributes frame(double x, double y, double w, double h) {
  return {{"AXPosition", plenk::Point{x, y}}, {"AXSize", Size{w, h}}};
}

inline Attributes with(Attributes a, const Attributes& more) {
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

inline Attributes titled(std::string title, Attributes more = {}) {
  return with({{"AXTitle", std::move(title)}}, more);
}

inline constexpr int APP_PID = 100;

inline RunningApp runningApp(int pid, std::optional<std::string> name = {},
                             std::optional<std::string> bundleId = {}) {
  RunningApp app;
  app.pid = pid;
  app.name = std::move(name);
  app.bundleId = std::move(bundleId);
  return app;
}

struct AxTest : ::testing::Test {
  MemoryDesktop desktop;
  Hands hands{desktop, desktop, desktop, desktop.clock(), {}, {}};
  Element app;
  Element window;

  AxTest() {
    desktop.trusted = true;
    app = desktop.addApp(runningApp(APP_PID, "Notes", "com.example.Notes"));
    desktop.setFrontmost(APP_PID);
    window = desktop.add(app, "AXWindow", titled("Draft", frame(0, 0, 800, 600)), "window");
    desktop.set(app, "AXFocusedWindow", window);
  }

  // A visible element of `role` under `parent` (the window when not given).
  Element add(std::string role, Attributes attributes = {}, std::optional<Element> parent = {},
              std::string name = "") {
    return desktop.add(parent.value_or(window), std::move(role), attributes, std::move(name));
  }

  Element button(std::string title, double x = 10, double y = 10,
                 std::optional<Element> parent = {}) {
    return add("AXButton", titled(std::move(title), frame(x, y, 80, 20)), parent);
  }

  Element staticText(std::string value, std::optional<Element> parent = {}) {
    return add("AXStaticText", with({{"AXValue", std::move(value)}}, frame(10, 40, 200, 16)),
               parent);
  }

  // Microseconds on the desktop's clock.
  std::int64_t micros() { return std::llround(desktop.clock().now() * 1e6); }
};

} // namespace plenk::hands::testing
