// A sway session (tools/wayland-session) with Wayland and XWayland windows side by side: the
// front application, activation and rectangles, judged by sway's own tree.
#include "tests/desktop/desktop.hpp"

#include <cstdlib>
#include <gtest/gtest.h>

namespace plenk {
namespace {

using desktop::Toolkit;

// A test app started as an X11 client under XWayland.
std::unique_ptr<desktop::TestApp> startX11App(Toolkit toolkit, const std::string& title) {
  std::string before = std::getenv("GDK_BACKEND") ? std::getenv("GDK_BACKEND") : "";
  ::setenv("GDK_BACKEND", "x11", 1);
  auto app = desktop::startApp(toolkit, {"--title", title});
  ::setenv("GDK_BACKEND", before.c_str(), 1);
  return app;
}

TEST(WaylandSession, ActivationAndTheFrontWindowFollowSwayAcrossWaylandAndX11Windows) {
  if (!desktop::inSway()) GTEST_SKIP() << "runs inside tools/wayland-session";
  auto gtk3 = desktop::startApp(Toolkit::gtk3, {"--title", "Wayland GTK3"});
  auto gtk4 = desktop::startApp(Toolkit::gtk4, {"--title", "Wayland GTK4"});
  auto x11 = startX11App(Toolkit::gtk3, "XWayland GTK3");
  ASSERT_TRUE(gtk3 && gtk4 && x11);
  ASSERT_TRUE(x11->waitActive());
  auto x11Window = desktop::swayWindow("XWayland GTK3");
  ASSERT_TRUE(x11Window && x11Window->x11 && !desktop::swayWindow("Wayland GTK4")->x11);

  desktop::Hands hands;
  ASSERT_TRUE(hands.started());
  for (int round = 0; round < 2; ++round)
    for (auto* app : {gtk3.get(), x11.get(), gtk4.get()}) {
      SCOPED_TRACE(app->title());
      ASSERT_EQ(hands.ask("activate", {{"pid", app->pid()}}).value("ok", false), true)
          << hands.lastAnswer();
      auto front = desktop::swayWindow(app->title());
      ASSERT_TRUE(front);
      EXPECT_TRUE(front->focused) << "sway did not focus it";
      Json frontmost = hands.result("frontmost");
      EXPECT_EQ(frontmost["app"]["pid"], app->pid()) << hands.lastAnswer();
      EXPECT_EQ(frontmost["window"], app->title());
      // The button where the window's own layout and sway's rectangle put it, and what is at
      // its centre.
      Json elements = hands.result("elements");
      auto ok = desktop::recordsOf(elements.value("elements", Json::array()), "button", "Sign in");
      ASSERT_EQ(ok.size(), 1u) << elements;
      auto want = app->widget("ok_button");
      ASSERT_TRUE(want);
      desktop::Box got = desktop::boxOf(ok[0]);
      EXPECT_TRUE(desktop::near(got, *want)) << got << " against " << *want;
      Json hit =
          hands.result("app_at", {{"x", want->x + want->w / 2}, {"y", want->y + want->h / 2}});
      EXPECT_EQ(hit["app"]["pid"], app->pid()) << hands.lastAnswer();
      EXPECT_EQ(hit["role"], "AXButton");
    }
}

} // namespace
} // namespace plenk
