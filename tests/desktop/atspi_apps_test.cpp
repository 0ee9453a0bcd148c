// The test applications and the support header on their own: the windows come up where X11 says
// they are, and the front one is active.
#include "tests/desktop/desktop.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

TEST(AtspiTestApps, WindowsComeUpLaidOutAndActive) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  for (auto toolkit : {desktop::Toolkit::gtk3, desktop::Toolkit::gtk4}) {
    auto app = desktop::startApp(toolkit, {"--title", "Support check"});
    ASSERT_TRUE(app) << desktop::appScript(toolkit) << " did not show its window";
    EXPECT_TRUE(app->waitActive()) << "the new window did not become active";
    auto shown = desktop::inCompositor() ? desktop::compositorWindow(app->title()) : std::nullopt;
    EXPECT_EQ(shown ? std::optional<int>(shown->pid) : desktop::windowPid(app->xid()), app->pid());
    auto window = app->window();
    ASSERT_TRUE(window);
    auto ok = app->widget("ok_button");
    ASSERT_TRUE(ok);
    EXPECT_GT(ok->w, 10);
    EXPECT_TRUE(ok->x >= window->x && ok->y >= window->y) << *ok << " outside " << *window;
  }
}

} // namespace
} // namespace plenk
