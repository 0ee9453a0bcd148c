// Firefox ESR (Gecko) on a document of paragraphs: read_text and elements give the paragraphs'
// own text in reading order, nothing of the hidden tabs Firefox keeps (its preloaded New Tab page
// lies over the real one, visible but not showing), and Firefox lives through every verb.
#include "tests/desktop/desktop.hpp"

#include <gtest/gtest.h>
#include <string>

namespace plenk {
namespace {

using desktop::recordsOf;

TEST(AtspiFirefox, DocumentTextInReadingOrderAndNothingHidden) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  auto browser = desktop::Browser::startFirefox("file://" + testing::sourceDir() +
                                                "/tests/desktop/apps/document.html");
  ASSERT_TRUE(browser) << "Firefox did not show a window";
  ASSERT_TRUE(desktop::waitUntil(
      [&] {
        auto w = desktop::windowTitle(browser->xid);
        return w.find("Plenk Document") != std::string::npos &&
               desktop::activeWindow() == browser->xid;
      },
      30000));
  desktop::Hands hands;
  auto alive = [&](const char* verb) {
    EXPECT_TRUE(desktop::running(browser->pid())) << "Firefox died after " << verb;
  };

  // The first request makes plenk-hands Firefox's first client: Firefox then sends its page's
  // states and layout over from the page's process a part at a time. The first request waits for
  // the page's own parts; what lies inside them (the link) may still come a moment later on a
  // loaded machine, as it would for a user who asks again.
  desktop::waitUntil(
      [&] {
        return hands.result("read_text").value("text", "").find("a link inside") !=
               std::string::npos;
      },
      10000);
  alive("the first read_text");
  Json elements = hands.result("elements", {{"max", 200}}, 30000);
  alive("elements");
  ASSERT_TRUE(elements.is_object()) << hands.lastAnswer();
  EXPECT_EQ(elements["app"]["name"], "Firefox ESR");
  const Json& list = elements["elements"];
  auto window = browser->window();
  ASSERT_TRUE(window);
  for (const char* text : {"The first paragraph says something plain, in words a user reads.",
                           "A second paragraph with", "and more words after it."}) {
    auto found = recordsOf(list, "statictext", text);
    ASSERT_EQ(found.size(), 1u) << text << "\n" << list;
    auto box = desktop::boxOf(found[0]);
    EXPECT_TRUE(box.x >= window->x && box.y >= window->y && box.y + box.h <= window->y + window->h)
        << box << " outside " << *window;
  }
  auto link = recordsOf(list, "link", "a link inside");
  ASSERT_EQ(link.size(), 1u) << list;
  for (const char* hidden : {"Wikipedia", "YouTube", "Server Not Found"})
    EXPECT_EQ(list.dump().find(hidden), std::string::npos) << hidden << " is not on the screen";

  Json read = hands.result("read_text", Json::object(), 30000);
  alive("read_text");
  ASSERT_TRUE(read.is_object()) << hands.lastAnswer();
  EXPECT_EQ(read.value("text", ""),
            "The heading of the document\n"
            "The first paragraph says something plain, in words a user reads.\n"
            "A second paragraph with\na link inside\nand more words after it.\n"
            "A block that is not a paragraph still holds its own text.\n"
            "Cell one\nCell two\nYour name");

  // What a click at the link would hit is the link, not the hidden page's shortcuts.
  auto box = desktop::boxOf(link[0]);
  Json at = hands.result("app_at", {{"x", box.x + box.w / 2}, {"y", box.y + box.h / 2}});
  alive("app_at");
  ASSERT_TRUE(at.is_object()) << hands.lastAnswer();
  EXPECT_EQ(at["app"]["pid"], browser->pid());
  EXPECT_EQ(at["role"], "AXLink");
}

} // namespace
} // namespace plenk
