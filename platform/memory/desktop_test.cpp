#include "platform/memory/desktop.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <thread>

namespace plenk {
namespace {

const RunningApp EDITOR{42, "Editor", "com.example.editor", ActivationPolicy::regular,
                        "/Applications/Editor.app"};
const RunningApp NOTES{43, "Notes", "com.example.notes", ActivationPolicy::regular,
                       "/Applications/Notes.app"};

struct Desk : ::testing::Test {
  MemoryDesktop desk;
  Element app;
  Element window;
  Element button;

  void SetUp() override {
    desk.trusted = true;
    app = desk.addApp(EDITOR);
    window = desk.add(app, "AXWindow",
                      {{"AXTitle", "Doc"}, {"AXPosition", Point{0, 0}}, {"AXSize", Size{400, 300}}},
                      "win");
    button = desk.add(
        window, "AXButton",
        {{"AXTitle", "Save"}, {"AXPosition", Point{10, 10}}, {"AXSize", Size{80, 20}}}, "save");
    desk.setFrontmost(42);
  }

  double now() { return desk.clock().now(); }
};

TEST_F(Desk, ElementsAreComparedByIdentity) {
  EXPECT_EQ(desk.application(42), app);
  EXPECT_EQ(desk.systemWide(), desk.systemWide());
  EXPECT_NE(window, button);
  EXPECT_NE(desk.application(42), desk.application(43));
  EXPECT_EQ(desk.find("save"), button);
  EXPECT_FALSE(desk.find("nothing"));
}

TEST_F(Desk, ReadsGiveEveryValueKind) {
  Element label = desk.create(42, {}, "label");
  desk.set(button, "AXEnabled", true);
  desk.set(button, "AXValue", 0.5);
  desk.set(button, "AXTitleUIElement", label);
  desk.set(button, "AXLinked", std::vector<Element>{label, window});
  desk.set(button, "AXDate", OtherValue{"date"});
  desk.fail(button, "AXHelp", AxStatus::noValue);

  struct Case {
    const char* attribute;
    AxStatus status;
    std::optional<AttrValue> value;
  };
  const Case cases[] = {
      {"AXRole", AxStatus::ok, AttrValue{std::string("AXButton")}},
      {"AXTitle", AxStatus::ok, AttrValue{std::string("Save")}}, // a literal stays a string
      {"AXEnabled", AxStatus::ok, AttrValue{true}},
      {"AXValue", AxStatus::ok, AttrValue{0.5}},
      {"AXTitleUIElement", AxStatus::ok, AttrValue{label}},
      {"AXLinked", AxStatus::ok, AttrValue{std::vector<Element>{label, window}}},
      {"AXPosition", AxStatus::ok, AttrValue{Point{10, 10}}},
      {"AXSize", AxStatus::ok, AttrValue{Size{80, 20}}},
      {"AXDate", AxStatus::ok, AttrValue{OtherValue{"date"}}},
      {"AXHelp", AxStatus::noValue, std::nullopt},
      {"AXPlaceholderValue", AxStatus::attributeUnsupported, std::nullopt},
  };
  for (const auto& c : cases) {
    auto got = desk.copyAttribute(button, c.attribute);
    EXPECT_EQ(got.status, c.status) << c.attribute;
    EXPECT_EQ(got.value, c.value) << c.attribute;
  }
  auto children = desk.copyAttribute(window, "AXChildren");
  ASSERT_TRUE(children.ok());
  EXPECT_EQ(std::get<std::vector<Element>>(*children.value), std::vector<Element>{button});
}

TEST_F(Desk, ReadsFailWhereTheDesktopWould) {
  desk.remove(window);
  EXPECT_EQ(desk.copyAttribute(button, "AXRole").status, AxStatus::invalidElement);
  EXPECT_EQ(desk.copyAttribute(app, "AXChildren").value, AttrValue{std::vector<Element>{}});
  EXPECT_EQ(desk.pid(button).status, AxStatus::invalidElement);
  EXPECT_EQ(desk.copyAttribute(desk.application(77), "AXRole").status, AxStatus::cannotComplete);
  desk.quitApp(42);
  EXPECT_EQ(desk.copyAttribute(app, "AXRole").status, AxStatus::cannotComplete);
  EXPECT_FALSE(desk.frontmostApplication());
  desk.trusted = false;
  EXPECT_EQ(desk.copyAttribute(desk.systemWide(), "AXRole").status, AxStatus::apiDisabled);
  EXPECT_EQ(desk.copyAttribute(Element{}, "AXRole").status, AxStatus::apiDisabled);
}

TEST_F(Desk, SlowReadsAdvanceTheClockAndTimeOut) {
  desk.setLatency(button, 0.3);
  double t0 = now();
  EXPECT_TRUE(desk.copyAttribute(button, "AXRole").ok());
  EXPECT_DOUBLE_EQ(now() - t0, 0.3);
  EXPECT_TRUE(desk.copyAttribute(window, "AXRole").ok());
  EXPECT_DOUBLE_EQ(now() - t0, 0.3); // only the button is slow

  // The whole application takes 2.5 s a read; with a 1 s messaging timeout a read fails after 1 s.
  desk.setAppLatency(42, 2.5);
  t0 = now();
  EXPECT_TRUE(desk.copyAttribute(window, "AXRole").ok()); // default timeout 6 s
  EXPECT_DOUBLE_EQ(now() - t0, 2.5);
  desk.setMessagingTimeout(app, 1.0f);
  EXPECT_EQ(desk.timeoutOf(42), 1.0);
  t0 = now();
  EXPECT_EQ(desk.copyAttribute(window, "AXRole").status, AxStatus::cannotComplete);
  EXPECT_DOUBLE_EQ(now() - t0, 1.0);
  EXPECT_DOUBLE_EQ(desk.calls().back().at, 2.8); // a call is stamped when it starts
}

TEST_F(Desk, CountsCallsPerOperationAndAttribute) {
  desk.copyAttribute(button, "AXRole");
  desk.copyAttribute(button, "AXRole");
  desk.copyAttribute(window, "AXRole");
  desk.copyAttribute(button, "AXSubrole");
  desk.setAttribute(app, "AXManualAccessibility", true);
  EXPECT_EQ(desk.reads(button, "AXRole"), 2);
  EXPECT_EQ(desk.reads(window, "AXRole"), 1);
  EXPECT_EQ(desk.count("copyAttribute"), 4);
  EXPECT_EQ(desk.count("copyAttribute", "AXRole"), 3);
  EXPECT_EQ(desk.count("setAttribute", "AXManualAccessibility"), 1);
  ASSERT_EQ(desk.writes().size(), 1u);
  EXPECT_EQ(desk.writes()[0].target, "app:42");
  EXPECT_EQ(desk.copyAttribute(app, "AXManualAccessibility").value, AttrValue{true});
  desk.clearCalls();
  EXPECT_EQ(desk.count("copyAttribute"), 0);
}

TEST_F(Desk, HitTestingFindsTheDeepestElementOrTheGivenAnswer) {
  Element other = desk.addApp(NOTES);
  Element notesWindow = desk.add(
      other, "AXWindow", {{"AXPosition", Point{0, 0}}, {"AXSize", Size{1000, 1000}}}, "notes");
  Element sys = desk.systemWide();
  EXPECT_EQ(desk.elementAtPosition(sys, 15, 15).value, button);
  EXPECT_EQ(desk.elementAtPosition(sys, 200, 200).value, window);
  EXPECT_EQ(desk.elementAtPosition(sys, 90, 15).value, window); // right edge is outside
  EXPECT_EQ(desk.elementAtPosition(sys, 500, 500).value, notesWindow);
  desk.setFrontmost(43); // the frontmost application is searched first
  EXPECT_EQ(desk.elementAtPosition(sys, 15, 15).value, notesWindow);
  EXPECT_EQ(desk.elementAtPosition(sys, 5000, 5).status, AxStatus::noValue);
  desk.setHitAnswer({1.1, 2.2}, {AxStatus::cannotComplete, std::nullopt});
  desk.setHitAnswer({3, 4}, {AxStatus::ok, button});
  EXPECT_EQ(desk.elementAtPosition(sys, 1.1f, 2.2f).status, AxStatus::cannotComplete);
  EXPECT_EQ(desk.elementAtPosition(sys, 3, 4).value, button);
  EXPECT_EQ(desk.pid(button).value, 42);
  desk.failPid(button, AxStatus::failure);
  EXPECT_FALSE(desk.pid(button).ok());
}

TEST_F(Desk, FocusFollowsTheFrontmostApplicationUnlessSet) {
  Element sys = desk.systemWide();
  EXPECT_EQ(desk.copyAttribute(sys, "AXFocusedApplication").value, AttrValue{app});
  EXPECT_EQ(desk.copyAttribute(sys, "AXFocusedUIElement").status, AxStatus::noValue);
  desk.focus(button);
  EXPECT_EQ(desk.copyAttribute(sys, "AXFocusedUIElement").value, AttrValue{button});
  EXPECT_EQ(desk.copyAttribute(app, "AXFocusedUIElement").value, AttrValue{button});
  desk.setFrontmost(std::nullopt);
  EXPECT_EQ(desk.copyAttribute(sys, "AXFocusedApplication").status, AxStatus::noValue);
  desk.set(sys, "AXFocusedApplication", desk.application(0)); // an element whose pid is 0
  auto focused = desk.copyAttribute(sys, "AXFocusedApplication");
  ASSERT_TRUE(focused.ok());
  EXPECT_EQ(desk.pid(std::get<Element>(*focused.value)).value, 0);
}

TEST_F(Desk, PostedEventsAreLoggedWithTheirPausesAndTargets) {
  desk.focus(button);
  auto source = desk.createSource();
  ASSERT_TRUE(source);
  auto move = desk.createMouseEvent(source, MouseEventType::moved, {15, 15}, MouseButton::left);
  auto down = desk.createMouseEvent(source, MouseEventType::leftDown, {15, 15}, MouseButton::left);
  ASSERT_TRUE(move && down);
  down->clickState = 1;
  desk.post(*move);
  desk.clock().sleepMicros(40000);
  desk.post(*down);
  auto key = desk.createKeyEvent(source, 0, true);
  key->text = u"h\u00e9";
  desk.clock().sleepMicros(25000);
  desk.post(*key);
  auto scroll = desk.createScrollEvent(std::nullopt, -3, 1);
  desk.post(*scroll);

  auto events = desk.events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_DOUBLE_EQ(events[1].at - events[0].at, 0.040);
  EXPECT_DOUBLE_EQ(events[2].at - events[1].at, 0.025);
  EXPECT_EQ(std::get<MouseEvent>(events[1].event).clickState, 1);
  EXPECT_EQ(eventLine(events[1]),
            R"({"t_ms":40.0,"kind":"mouse","type":"leftDown","x":15.0,"y":15.0,"button":"left",)"
            R"("click":1,"flags":0,"source":1,"target":"save AXButton \"Save\""})");
  EXPECT_EQ(eventLine(events[2]),
            R"({"t_ms":65.0,"kind":"key","code":0,"down":true,"flags":0,"text":"hé",)"
            R"("units":[104,233],"source":1,"target":"save AXButton \"Save\""})");
  // A scroll without a location happens at the pointer, which the last mouse event left on Save.
  EXPECT_EQ(eventLine(events[3]),
            R"({"t_ms":65.0,"kind":"scroll","dy":-3,"dx":1,"flags":0,"source":null,)"
            R"("target":"save AXButton \"Save\""})");
}

TEST_F(Desk, RefusesSourcesAndEventsWhenTold) {
  desk.refuseSources(true);
  EXPECT_FALSE(desk.createSource());
  desk.refuseEventsAfter(2);
  EXPECT_TRUE(desk.createKeyEvent(std::nullopt, 1, true));
  EXPECT_TRUE(desk.createScrollEvent(std::nullopt, 1, 0));
  EXPECT_FALSE(desk.createKeyEvent(std::nullopt, 1, false));
  EXPECT_FALSE(desk.createMouseEvent(std::nullopt, MouseEventType::moved, {}, MouseButton::left));
  desk.refuseEventsAfter(std::nullopt);
  EXPECT_TRUE(desk.createKeyEvent(std::nullopt, 1, false));
}

TEST_F(Desk, WritesTheEventLogFile) {
  auto path = std::filesystem::temp_directory_path() /
              ("plenk-events-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".jsonl");
  ASSERT_TRUE(desk.writeEventsTo(path.string()));
  desk.post(*desk.createKeyEvent(std::nullopt, 36, true));
  desk.post(*desk.createKeyEvent(std::nullopt, 36, false));
  std::ifstream in(path);
  std::string first, second, third;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(first, R"({"t_ms":0.0,"kind":"key","code":36,"down":true,"flags":0,"source":null})");
  EXPECT_EQ(second, R"({"t_ms":0.0,"kind":"key","code":36,"down":false,"flags":0,"source":null})");
  EXPECT_FALSE(std::getline(in, third));
  std::filesystem::remove(path);
  EXPECT_FALSE(desk.writeEventsTo("/nonexistent-folder/x.jsonl"));
}

TEST_F(Desk, ChangesComeWithTimeAndInput) {
  Element web = desk.add(window, "AXWebArea", {}, "web");
  // Children of the web area appear half a second after the accessibility is woken.
  desk.afterWrite(42, "AXManualAccessibility", 0.5, [web](MemoryDesktop& d) {
    d.add(web, "AXStaticText", {{"AXValue", "Hi"}});
  });
  auto children = [&] {
    auto r = desk.copyAttribute(web, "AXChildren");
    return r.ok() ? std::get<std::vector<Element>>(*r.value).size() : 0u;
  };
  EXPECT_EQ(children(), 0u);
  desk.setAttribute(app, "AXManualAccessibility", true);
  desk.clock().sleepMicros(499999);
  EXPECT_EQ(children(), 0u);
  desk.clock().sleepMicros(1);
  EXPECT_EQ(children(), 1u);
  desk.setAttribute(app, "AXManualAccessibility", true); // runs once only
  desk.clock().sleepMicros(600000);
  EXPECT_EQ(children(), 1u);

  // Return moves the focus into a password field.
  Element password = desk.add(window, "AXTextField", {{"AXSubrole", "AXSecureTextField"}}, "pw");
  desk.afterKey(36, 0, [password](MemoryDesktop& d) { d.focus(password); });
  desk.post(*desk.createKeyEvent(std::nullopt, 36, false)); // a key up does not count
  EXPECT_NE(desk.copyAttribute(desk.systemWide(), "AXFocusedUIElement").value, AttrValue{password});
  desk.post(*desk.createKeyEvent(std::nullopt, 36, true));
  EXPECT_EQ(desk.copyAttribute(desk.systemWide(), "AXFocusedUIElement").value, AttrValue{password});

  // Clicking inside Save renames it; clicking elsewhere does not.
  desk.afterClick(button, 0, [this](MemoryDesktop& d) { d.set(button, "AXTitle", "Saved"); });
  desk.post(*desk.createMouseEvent(std::nullopt, MouseEventType::leftDown, {300, 200},
                                   MouseButton::left));
  EXPECT_EQ(desk.copyAttribute(button, "AXTitle").value, AttrValue{std::string("Save")});
  desk.post(
      *desk.createMouseEvent(std::nullopt, MouseEventType::leftDown, {12, 12}, MouseButton::left));
  EXPECT_EQ(desk.copyAttribute(button, "AXTitle").value, AttrValue{std::string("Saved")});

  desk.at(10.0, [this](MemoryDesktop& d) { d.set(window, "AXTitle", "Later"); });
  desk.clock().sleepMicros(10000000);
  EXPECT_EQ(desk.copyAttribute(window, "AXTitle").value, AttrValue{std::string("Later")});
}

TEST_F(Desk, WorkspaceAnswersFromItsData) {
  desk.addApp(NOTES);
  desk.addApp({44, std::nullopt, std::nullopt, ActivationPolicy::accessory, std::nullopt});
  auto running = desk.runningApplications();
  ASSERT_EQ(running.size(), 3u);
  EXPECT_EQ(running[0], EDITOR);
  EXPECT_EQ(running[2].policy, ActivationPolicy::accessory);
  EXPECT_EQ(desk.frontmostApplication(), EDITOR);
  EXPECT_EQ(desk.runningApplication(43), NOTES);
  EXPECT_FALSE(desk.runningApplication(99));

  EXPECT_TRUE(desk.activate(43));
  EXPECT_EQ(desk.frontmostApplication(), NOTES);
  desk.setActivateAnswer(42, false);
  EXPECT_FALSE(desk.activate(42));
  EXPECT_EQ(desk.frontmostApplication(), NOTES);
  EXPECT_FALSE(desk.activate(99));

  desk.setHome("/Users/ann");
  desk.addBundle("/Applications/Keynote.app", "com.apple.iWork.Keynote");
  desk.addBundle("/Applications/Plain.app", std::nullopt);
  desk.setFolder("/Applications/Utilities", std::nullopt);
  EXPECT_EQ(desk.homeDirectory(), "/Users/ann");
  EXPECT_EQ(desk.contentsOfDirectory("/Applications"),
            (std::vector<std::string>{"Keynote.app", "Plain.app"}));
  EXPECT_FALSE(desk.contentsOfDirectory("/Applications/Utilities"));
  EXPECT_FALSE(desk.contentsOfDirectory("/nowhere"));
  EXPECT_EQ(desk.applicationPathForBundleId("COM.apple.iwork.keynote"),
            "/Applications/Keynote.app");
  EXPECT_FALSE(desk.applicationPathForBundleId("com.example.none"));
  EXPECT_EQ(desk.bundleIdentifier("/Applications/Keynote.app"), "com.apple.iWork.Keynote");
  EXPECT_FALSE(desk.bundleIdentifier("/Applications/Plain.app"));
  EXPECT_EQ(desk.count("contentsOfDirectory", "/Applications"), 1);
}

struct OpenResult {
  std::optional<RunningApp> app;
  std::optional<std::string> error;
  std::thread::id thread;
};

TEST_F(Desk, OpeningAnswersLaterOnAnotherThread) {
  desk.addBundle("/Applications/Keynote.app", "com.apple.iWork.Keynote");
  desk.setOpenAnswer("/Applications/Broken.app", {std::nullopt, "it is damaged", 0, false});
  desk.setOpenAnswer("/Applications/Slow.app", {NOTES, std::nullopt, 0, true});
  std::mutex m;
  std::map<std::string, OpenResult> results;
  auto open = [&](const std::string& path) {
    desk.openApplication(path, {}, [&, path](auto app, auto error) {
      std::lock_guard lock(m);
      results[path] = {app, error, std::this_thread::get_id()};
    });
  };
  open("/Applications/Keynote.app");
  open("/Applications/Broken.app");
  open("/Applications/Editor.app"); // runs already: brought to the front
  open("/Applications/Slow.app");
  desk.waitForOpens();
  {
    std::lock_guard lock(m);
    ASSERT_EQ(results.size(), 3u); // the held answer has not come
    auto& keynote = results["/Applications/Keynote.app"];
    ASSERT_TRUE(keynote.app);
    EXPECT_NE(keynote.thread, std::this_thread::get_id());
    EXPECT_EQ(keynote.app->name, "Keynote");
    EXPECT_EQ(keynote.app->bundleId, "com.apple.iWork.Keynote");
    EXPECT_EQ(results["/Applications/Broken.app"].error, "it is damaged");
    EXPECT_FALSE(results["/Applications/Broken.app"].app);
    EXPECT_EQ(results["/Applications/Editor.app"].app, EDITOR);
  }
  EXPECT_TRUE(desk.runningApplication(results["/Applications/Keynote.app"].app->pid));
  desk.deliverHeldOpens();
  desk.waitForOpens();
  std::lock_guard lock(m);
  EXPECT_EQ(results["/Applications/Slow.app"].app, NOTES);
  EXPECT_EQ(desk.frontmostApplication(), NOTES); // the last one opened came to the front
  EXPECT_EQ(desk.opened().size(), 4u);
}

} // namespace
} // namespace plenk
