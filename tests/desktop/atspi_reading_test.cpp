// The reading verbs of the real plenk-hands over AT-SPI, on the GTK 3 and GTK 4 test windows:
// what they name, where they say things are (against the X11 geometry of the window and the
// app's own layout), what they read, and how they answer for an application that stops answering.
#include "tests/desktop/desktop.hpp"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace plenk {
namespace {

using desktop::Box;
using desktop::recordsOf;
using desktop::Toolkit;

struct ToolkitCase {
  Toolkit toolkit;
  const char* title;
  const char* widgets; // the app's layout that matches what accessibility reports
};

Box center(const Box& b) {
  return {b.x + b.w / 2, b.y + b.h / 2, 0, 0};
}

class AtspiReading : public ::testing::TestWithParam<ToolkitCase> {};

TEST_P(AtspiReading, FrontmostAppAtElementsAndReadText) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  const auto& c = GetParam();
  auto app = desktop::startApp(c.toolkit, {"--title", c.title, "--rows", "8"});
  ASSERT_TRUE(app) << "the test app did not come up";
  ASSERT_TRUE(app->waitActive());
  desktop::Hands hands;
  ASSERT_TRUE(hands.started());

  Json probe = hands.result("probe");
  ASSERT_TRUE(probe.is_object()) << hands.lastAnswer();
  EXPECT_EQ(probe["accessibility"], true);

  Json front = hands.result("frontmost");
  ASSERT_TRUE(front.is_object()) << hands.lastAnswer();
  EXPECT_EQ(front["app"]["pid"], app->pid());
  EXPECT_EQ(front["window"], c.title);

  auto widget = [&](const char* name) {
    auto box = app->widget(name, c.widgets);
    EXPECT_TRUE(box) << name;
    return box.value_or(Box{});
  };

  // Hit-testing finds the password entry and the button under their centres.
  for (auto [name, role, secure] :
       {std::tuple{"password", "AXTextField", true}, std::tuple{"ok_button", "AXButton", false},
        std::tuple{"entry", "AXTextField", false}}) {
    Box at = center(widget(name));
    Json hit = hands.result("app_at", {{"x", at.x}, {"y", at.y}});
    ASSERT_TRUE(hit.is_object()) << name << ": " << hands.lastAnswer();
    EXPECT_EQ(hit["app"]["pid"], app->pid()) << name;
    EXPECT_EQ(hit["role"], role) << name;
    EXPECT_EQ(hit["secure"], secure) << name;
  }

  Json elements = hands.result("elements");
  ASSERT_TRUE(elements.is_object()) << hands.lastAnswer();
  EXPECT_EQ(elements["window"], c.title);
  EXPECT_EQ(elements["truncated"], false);
  const Json& list = elements["elements"];
  ASSERT_TRUE(list.is_array());
  // Menu-bar items come first, in order.
  ASSERT_GE(list.size(), 3u) << list;
  EXPECT_EQ(list[0]["label"], "File");
  EXPECT_EQ(list[1]["label"], "Edit");
  EXPECT_EQ(list[2]["label"], "Help");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(list[i]["role"], "menubaritem");

  struct Expect {
    const char* widget;
    const char* role;
    const char* label;
    bool enabled;
    const char* value = nullptr;
  };
  // Labels from the title, the placeholder, the labelling widget and the tooltip; an entry's text.
  for (const auto& e : {Expect{"ok_button", "button", "Sign in", true},
                        Expect{"disabled_button", "button", "Delete account", false},
                        Expect{"check", "checkbox", "Remember me", true},
                        Expect{"entry", "textfield", "Your name", true},
                        Expect{"nickname", "textfield", "Display name", true, "Ziggy Ünal"},
                        Expect{"refresh", "button", "Refresh the list", true}}) {
    auto found = recordsOf(list, e.role, e.label);
    ASSERT_EQ(found.size(), 1u) << e.label << " in " << list;
    EXPECT_EQ(found[0]["enabled"], e.enabled) << e.label;
    if (e.value) {
      EXPECT_EQ(found[0].value("value", ""), e.value) << e.label;
    }
    Box got = desktop::boxOf(found[0]), want = widget(e.widget);
    EXPECT_TRUE(desktop::near(got, want)) << e.label << ": " << got << " against " << want;
  }
  auto entry = recordsOf(list, "textfield", "Your name");
  ASSERT_EQ(entry.size(), 1u);
  EXPECT_EQ(entry[0].value("focused", false), true) << "the focused entry carries the mark";
  int focused = 0, secure = 0;
  for (const auto& r : list) {
    focused += r.value("focused", false);
    if (r.value("secure", false)) {
      ++secure;
      EXPECT_FALSE(r.contains("value")) << r;
      EXPECT_EQ(r["role"], "textfield");
      EXPECT_TRUE(desktop::near(desktop::boxOf(r), widget("password"))) << r;
    }
  }
  EXPECT_EQ(focused, 1);
  EXPECT_EQ(secure, 1);
  EXPECT_EQ(list.dump().find(desktop::APP_PASSWORD), std::string::npos);

  Json read = hands.result("read_text");
  ASSERT_TRUE(read.is_object()) << hands.lastAnswer();
  std::string text = read["text"];
  EXPECT_EQ(text.find(desktop::APP_PASSWORD), std::string::npos) << text;
  // Top to bottom, and left to right within a row of the form: the frame's own label before
  // what it holds, each label of the grid before its entry and above the next row.
  std::vector<std::size_t> at;
  for (const char* piece : {"Account settings", "Sign in", "User name", "Password", "Display name",
                            "First line of notes\nSecond line of notes", "Item 1\nItem 2"}) {
    at.push_back(text.find(piece));
    EXPECT_NE(at.back(), std::string::npos) << piece << " in " << text;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << text;
  EXPECT_EQ(read["truncated"], false);

  // Read again after ticking the check box: by now GTK 4 answers from its cache of accessibles,
  // which must read as the calls did, and as the window is now.
  auto checkBox = recordsOf(list, "checkbox", "Remember me");
  ASSERT_EQ(checkBox.size(), 1u);
  EXPECT_EQ(checkBox[0].value("value", ""), "0");
  Box box = center(widget("check"));
  ASSERT_TRUE(hands.result("click", {{"x", box.x}, {"y", box.y}}).is_object())
      << hands.lastAnswer();
  // The click's answer comes when the events are posted; the application takes them later.
  Json again;
  desktop::waitUntil(
      [&] {
        again = hands.result("elements");
        auto ticked = recordsOf(again.value("elements", Json::array()), "checkbox", "Remember me");
        return !ticked.empty() && ticked[0].value("value", "") == "1";
      },
      5000);
  ASSERT_TRUE(again.is_object()) << hands.lastAnswer();
  auto steady = [](Json records) {
    for (auto& r : records) {
      r.erase("focused");
      if (r["role"] == "checkbox") r.erase("value");
    }
    return records;
  };
  EXPECT_EQ(steady(again["elements"]), steady(list));
  checkBox = recordsOf(again["elements"], "checkbox", "Remember me");
  ASSERT_EQ(checkBox.size(), 1u);
  EXPECT_EQ(checkBox[0].value("value", ""), "1");
}

INSTANTIATE_TEST_SUITE_P(Atspi, AtspiReading,
                         ::testing::Values(ToolkitCase{Toolkit::gtk3, "Reading GTK3", "widgets"},
                                           ToolkitCase{Toolkit::gtk4, "Reading GTK4", "widgets"}),
                         [](const auto& info) {
                           return info.param.toolkit == Toolkit::gtk3 ? "Gtk3" : "Gtk4";
                         });

// A stopped application costs each request at most about the one-second timeout; nothing stalls,
// and once it runs again it is read as before. One that is gone fails the same quick way.
TEST(AtspiUnresponsive, StoppedThenResumedThenGone) {
  ASSERT_EQ(desktop::sessionProblem(), "");
  auto app = desktop::startApp(Toolkit::gtk3, {"--title", "Stopped app", "--rows", "200"});
  ASSERT_TRUE(app);
  ASSERT_TRUE(app->waitActive());
  desktop::Hands hands;
  Json before = hands.result("elements");
  ASSERT_TRUE(before.is_object()) << hands.lastAnswer();
  ASSERT_FALSE(recordsOf(before["elements"], "button", "Sign in").empty());

  app->suspend();
  Box ok = center(app->widget("ok_button").value_or(Box{}));
  struct Ask {
    const char* verb;
    Json args;
  };
  for (const auto& ask :
       {Ask{"frontmost", Json::object()}, Ask{"elements", Json::object()},
        Ask{"read_text", Json::object()}, Ask{"app_at", Json{{"x", ok.x}, {"y", ok.y}}}}) {
    Json answer = hands.ask(ask.verb, ask.args, 10000);
    ASSERT_TRUE(answer.is_object()) << ask.verb << " was not answered";
    // The walk's budget is four seconds; one timed-out read must not add up to more.
    EXPECT_LT(hands.lastMillis(), 4500) << ask.verb;
    if (std::string(ask.verb) == "elements") {
      ASSERT_EQ(answer["ok"], true) << answer;
      EXPECT_EQ(answer["result"]["app"]["pid"], app->pid());
      EXPECT_TRUE(recordsOf(answer["result"]["elements"], "button", "Sign in").empty());
    }
    if (std::string(ask.verb) == "read_text") {
      ASSERT_EQ(answer["ok"], true) << answer;
      EXPECT_EQ(answer["result"]["text"], "");
    }
  }

  // A helper that meets the application only once it is stopped: its first contact (the
  // application's own socket is asked for over the bus) times out the same way.
  desktop::Hands fresh;
  Json answer = fresh.ask("elements", Json::object(), 10000);
  ASSERT_TRUE(answer.is_object()) << "a new helper was not answered";
  EXPECT_LT(fresh.lastMillis(), 4500);
  EXPECT_EQ(answer["ok"], true) << answer;

  app->resume();
  for (desktop::Hands* h : {&hands, &fresh}) {
    Json after = h->result("elements");
    ASSERT_TRUE(after.is_object()) << h->lastAnswer();
    EXPECT_FALSE(recordsOf(after["elements"], "button", "Sign in").empty()) << after;
    EXPECT_LT(h->lastMillis(), 2000);
  }

  app->end();
  for (const char* verb : {"frontmost", "elements", "read_text"}) {
    Json answer = hands.ask(verb, Json::object(), 10000);
    ASSERT_TRUE(answer.is_object()) << verb << " was not answered after the app ended";
    EXPECT_LT(hands.lastMillis(), 2000) << verb;
  }
}

} // namespace
} // namespace plenk
