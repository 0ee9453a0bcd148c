// Chromium started without --force-renderer-accessibility: the first reading request wakes its
// accessibility, and the page's headings, paragraphs and form appear in elements and read_text.
#include "tests/desktop/desktop.hpp"

#include <gtest/gtest.h>
#include <string>

namespace plenk {
namespace {

using desktop::recordsOf;

TEST(AtspiBrowser, ChromiumPageAfterWakeUp) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  auto browser = desktop::Browser::start(desktop::Browser::pageUrl(12));
  ASSERT_TRUE(browser) << "Chromium did not show a window";
  ASSERT_TRUE(desktop::waitUntil([&] { return desktop::activeWindow() == browser->xid; }, 10000));
  // The page loads after the window shows; give it the time a user would.
  ASSERT_TRUE(desktop::waitUntil(
      [&] {
        auto w = desktop::windowTitle(browser->xid);
        return w.find("Plenk Test Page") != std::string::npos;
      },
      20000));

  desktop::Hands hands;
  Json elements = hands.result("elements", Json::object(), 30000);
  ASSERT_TRUE(elements.is_object()) << hands.lastAnswer();
  EXPECT_EQ(elements["app"]["pid"], browser->pid());
  const Json& list = elements["elements"];
  EXPECT_EQ(recordsOf(list, "textfield", "User name").size(), 1u) << list;
  EXPECT_EQ(recordsOf(list, "button", "Sign in").size(), 1u) << list;
  EXPECT_EQ(recordsOf(list, "link", "Forgot password").size(), 1u) << list;
  EXPECT_EQ(recordsOf(list, "statictext", "Plenk test page").size(), 1u) << list;
  EXPECT_EQ(
      recordsOf(list, "statictext", "The first paragraph explains what this page is for.").size(),
      1u)
      << list;
  auto password = recordsOf(list, "textfield", "Password");
  ASSERT_EQ(password.size(), 1u) << list;
  EXPECT_EQ(password[0].value("secure", false), true);
  EXPECT_EQ(list.dump().find(desktop::APP_PASSWORD), std::string::npos);
  // The page's elements lie inside the browser's window.
  auto window = browser->window();
  ASSERT_TRUE(window);
  auto field = desktop::boxOf(recordsOf(list, "textfield", "User name").at(0));
  EXPECT_TRUE(field.x >= window->x && field.y >= window->y &&
              field.x + field.w <= window->x + window->w &&
              field.y + field.h <= window->y + window->h)
      << field << " outside " << *window;

  Json read = hands.result("read_text", Json::object(), 30000);
  ASSERT_TRUE(read.is_object()) << hands.lastAnswer();
  std::string text = read["text"];
  EXPECT_NE(text.find("Plenk test page\nThe first paragraph explains what this page is for.\n"
                      "Sign in\nThe second paragraph sits above the form."),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Entry 12"), std::string::npos) << text;
  EXPECT_EQ(text.find(desktop::APP_PASSWORD), std::string::npos) << text;
}

} // namespace
} // namespace plenk
