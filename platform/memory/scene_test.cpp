#include "platform/memory/scene.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

MemoryDesktop& loaded(SceneLoad& load) {
  EXPECT_EQ(load.error, "");
  if (!load.scene) throw std::runtime_error("scene refused: " + load.error);
  return *load.scene->desktop;
}

Element el(MemoryDesktop& d, std::string_view id) {
  auto found = d.find(id);
  if (!found) throw std::runtime_error("no element " + std::string(id));
  return *found;
}

std::vector<Element> kids(MemoryDesktop& d, const Element& e) {
  auto r = d.copyAttribute(e, "AXChildren");
  return r.ok() ? std::get<std::vector<Element>>(*r.value) : std::vector<Element>{};
}

const char* EDITOR = R"({
  "permissions": {"accessibility": true, "screen": false, "screen_prompt_grants": true},
  "event_log": "events.jsonl",
  "apps": [{
    "pid": 501, "name": "Editor", "bundle_id": "com.example.Editor",
    "bundle_path": "/Applications/Editor.app", "activates": false,
    "tree": {
      "AXFocusedWindow": "win", "AXMenuBar": "menu",
      "children": [
        {"id": "win", "role": "AXWindow", "title": "Draft", "frame": [0, 0, 800, 600],
         "children": [
          {"id": "label", "role": "AXStaticText", "value": "Name"},
          {"id": "name", "role": "AXTextField", "AXTitleUIElement": "label", "value": "Ann",
           "frame": [10, 10, 200, 20]},
          {"id": "pw", "role": "AXTextField", "subrole": "AXSecureTextField",
           "frame": [10, 40, 200, 20], "latency_ms": 300},
          {"id": "check", "role": "AXCheckBox", "value": 1, "enabled": false},
          {"id": "date", "role": "AXDateField", "value": {"other": "date"}},
          {"id": "odd", "role": "AXGroup", "AXHelp": {"fail": "cannotComplete"},
           "AXDescription": null, "AXValue": {"none": true}, "AXSize": {"point": [1, 2]},
           "AXLinkedUIElements": ["name", "pw"], "AXTitle": {"string": "42"}}
        ]},
        {"id": "menu", "role": "AXMenuBar"}
      ]
    }
  }, {
    "pid": 502, "name": null, "policy": "accessory", "latency_ms": 2500
  }],
  "focus": "name",
  "system": {"AXFocusedApplication": {"element": "app:0"}},
  "hits": [{"x": 5, "y": 5, "fail": "noValue"}, {"x": 6, "y": 6, "element": "check"}],
  "home": "/Users/ann",
  "folders": {"/Applications/Utilities": null, "/Applications": ["Zoom.app", "Tool.APP"]},
  "bundles": [{"path": "/Applications/Editor.app", "bundle_id": "com.example.Editor"},
              {"path": "/Applications/Bare.app"}],
  "open": [{"path": "/Applications/Bare.app", "error": "damaged", "delay_ms": 0}]
})";

TEST(Scene, LoadsEveryValueKindAndFailure) {
  auto load = loadScene(EDITOR, "/tmp/scenes");
  auto& d = loaded(load);
  EXPECT_EQ(load.scene->eventLog, "/tmp/scenes/events.jsonl");
  EXPECT_FALSE(load.scene->realClock);
  EXPECT_TRUE(d.isTrusted());
  EXPECT_FALSE(d.screenCaptureAllowed());
  EXPECT_TRUE(d.requestScreenCapture());

  Element app = d.application(501);
  struct Case {
    const char* element;
    const char* attribute;
    AxStatus status;
    std::optional<AttrValue> value;
  };
  const Case cases[] = {
      {"app:501", "AXRole", AxStatus::ok, AttrValue{std::string("AXApplication")}},
      {"app:501", "AXTitle", AxStatus::ok, AttrValue{std::string("Editor")}},
      {"app:501", "AXFocusedWindow", AxStatus::ok, AttrValue{el(d, "win")}},
      {"app:501", "AXFocusedUIElement", AxStatus::ok, AttrValue{el(d, "name")}},
      {"app:501", "AXMainWindow", AxStatus::attributeUnsupported, std::nullopt},
      {"win", "AXPosition", AxStatus::ok, AttrValue{Point{0, 0}}},
      {"win", "AXSize", AxStatus::ok, AttrValue{Size{800, 600}}},
      {"name", "AXTitleUIElement", AxStatus::ok, AttrValue{el(d, "label")}},
      {"name", "AXValue", AxStatus::ok, AttrValue{std::string("Ann")}},
      {"pw", "AXSubrole", AxStatus::ok, AttrValue{std::string("AXSecureTextField")}},
      {"check", "AXValue", AxStatus::ok, AttrValue{1.0}},
      {"check", "AXEnabled", AxStatus::ok, AttrValue{false}},
      {"date", "AXValue", AxStatus::ok, AttrValue{OtherValue{"date"}}},
      {"odd", "AXHelp", AxStatus::cannotComplete, std::nullopt},
      {"odd", "AXDescription", AxStatus::noValue, std::nullopt},
      {"odd", "AXValue", AxStatus::ok, std::nullopt},
      {"odd", "AXSize", AxStatus::ok, AttrValue{Point{1, 2}}},
      {"odd", "AXLinkedUIElements", AxStatus::ok,
       AttrValue{std::vector<Element>{el(d, "name"), el(d, "pw")}}},
      {"odd", "AXTitle", AxStatus::ok, AttrValue{std::string("42")}},
  };
  for (const auto& c : cases) {
    auto got = d.copyAttribute(el(d, c.element), c.attribute);
    EXPECT_EQ(got.status, c.status) << c.element << " " << c.attribute;
    EXPECT_EQ(got.value, c.value) << c.element << " " << c.attribute;
  }
  EXPECT_EQ(kids(d, app), (std::vector<Element>{el(d, "win"), el(d, "menu")}));
  EXPECT_EQ(kids(d, el(d, "win")).size(), 6u);

  // The loader's own calls are not counted.
  EXPECT_EQ(d.count("copyAttribute"), static_cast<int>(std::size(cases)) + 2);

  // Latencies: 300 ms on one element; 2.5 s on a whole application, past a 1 s timeout.
  double t0 = d.clock().now();
  d.copyAttribute(el(d, "pw"), "AXRole");
  EXPECT_DOUBLE_EQ(d.clock().now() - t0, 0.3);
  d.setMessagingTimeout(d.application(502), 1.0f);
  EXPECT_EQ(d.copyAttribute(d.application(502), "AXRole").status, AxStatus::cannotComplete);
  EXPECT_DOUBLE_EQ(d.clock().now() - t0, 1.3);

  // The system-wide element names an application element whose pid is 0.
  auto focused = d.copyAttribute(d.systemWide(), "AXFocusedApplication");
  ASSERT_TRUE(focused.ok());
  EXPECT_EQ(d.pid(std::get<Element>(*focused.value)).value, 0);

  Element sys = d.systemWide();
  EXPECT_EQ(d.elementAtPosition(sys, 5, 5).status, AxStatus::noValue);
  EXPECT_EQ(d.elementAtPosition(sys, 6, 6).value, el(d, "check"));
  EXPECT_EQ(d.elementAtPosition(sys, 20, 45).value, el(d, "pw"));

  auto running = d.runningApplications();
  ASSERT_EQ(running.size(), 2u);
  EXPECT_EQ(running[1].policy, ActivationPolicy::accessory);
  EXPECT_FALSE(running[1].name);
  EXPECT_EQ(d.frontmostApplication()->pid, 501); // the first app unless told
  EXPECT_FALSE(d.activate(501));
  EXPECT_EQ(d.homeDirectory(), "/Users/ann");
  EXPECT_FALSE(d.contentsOfDirectory("/Applications/Utilities"));
  EXPECT_EQ(d.contentsOfDirectory("/Applications"),
            (std::vector<std::string>{"Zoom.app", "Tool.APP", "Editor.app", "Bare.app"}));
  EXPECT_EQ(d.applicationPathForBundleId("com.example.editor"), "/Applications/Editor.app");
  EXPECT_FALSE(d.bundleIdentifier("/Applications/Bare.app"));

  std::optional<std::string> error;
  d.openApplication("/Applications/Bare.app", {}, [&](auto, auto e) { error = e; });
  d.waitForOpens();
  EXPECT_EQ(error, "damaged");
}

TEST(Scene, RefusesMalformedScenesNamingThePlace) {
  struct Case {
    const char* scene;
    const char* error;
  };
  const Case cases[] = {
      {R"({"apps": [{"pid": 1, "tree": {"children": [{}, {}, {}, {"AXSize": [1]}]}}]})",
       "apps[0].tree.children[3].AXSize: expected [width, height]"},
      {R"({"apps": [{"pid": 1, "tree": {"AXPosition": "here"}}]})",
       "apps[0].tree.AXPosition: expected [x, y]"},
      {R"({"apps": [{"pid": 1, "tree": {"children": [{"frame": [1, 2, 3]}]}}]})",
       "apps[0].tree.children[0].frame: expected [x, y, width, height]"},
      {R"({"apps": [{"pid": 1, "tree": {"AXFocusedWindow": "nope"}}]})",
       "apps[0].tree.AXFocusedWindow: no element has the id \"nope\""},
      {R"({"apps": [{"pid": 1, "tree": {"children": [{"id": "a"}, {"id": "a"}]}}]})",
       "apps[0].tree.children[1].id: id \"a\" used twice"},
      {R"({"apps": [{"pid": 1, "tree": {"colour": "red"}}]})", "apps[0].tree.colour: unknown key"},
      {R"({"apps": [{"pid": 1.5}]})", "apps[0].pid: expected a whole number from 0 to 2147483647"},
      {R"({"apps": [{"name": "x"}]})", "apps[0]: an app needs a pid"},
      {R"({"apps": [{"pid": 1}, {"pid": 1}]})", "apps[1].pid: pid used twice"},
      {R"({"apps": [{"pid": 1, "policy": "daemon"}]})",
       "apps[0].policy: expected regular, accessory or prohibited"},
      {R"({"apps": [{"pid": 1, "tree": {"AXValue": {"fail": "ok"}}}]})",
       "apps[0].tree.AXValue.fail: expected a failure status: failure, attributeUnsupported, "
       "noValue, cannotComplete, invalidElement, notImplemented or apiDisabled"},
      {R"({"apps": [{"pid": 1, "tree": {"AXValue": [1, 2]}}]})",
       "apps[0].tree.AXValue: expected a string, true or false, a number or an explicit value "
       "such as {\"point\": [x, y]}"},
      {R"({"apps": [{"pid": 1, "tree": {"AXValue": {"colour": 1}}}]})",
       "apps[0].tree.AXValue.colour: unknown value kind"},
      {R"({"apps": [{"pid": 1, "latency_ms": -1}]})",
       "apps[0].latency_ms: expected milliseconds from 0 to 1000000000"},
      {R"({"apps": [{"pid": 1, "tree": {"children": [{"repeat": 2000000, "element": {}}]}}]})",
       "apps[0].tree.children[0].repeat: expected a whole number from 0 to 1000000"},
      {R"({"apps": [{"pid": 1, "tree": {"children": [{"repeat": 2}]}}]})",
       "apps[0].tree.children[0]: a repeat needs an element"},
      {R"({"permissions": {"accessibility": "yes"}})",
       "permissions.accessibility: expected true or false"},
      {R"({"clock": "fast"})", "clock: expected \"virtual\" or \"real\""},
      {R"({"focus": "ghost"})", "focus: no element has the id \"ghost\""},
      {R"({"hits": [{"x": 1, "y": 2}]})", "hits[0]: a hit gives either element or fail"},
      {R"({"changes": [{"when": {"key": 36}, "do": [{"jump": 1}]}]})",
       "changes[0].do[0]: expected set, add, remove, focus, frontmost or quit"},
      {R"({"changes": [{"when": {"soon": 1}, "do": []}]})",
       "changes[0].when: expected at_ms, write, key or click"},
      {R"({"bundles": [{"path": "Editor.app"}]})", "bundles[0].path: expected an absolute path"},
      {R"({"folders": {"/A": [1]}})", "folders./A[0]: expected a string"},
      {R"({"apps": 3})", "apps: expected an array"},
      {R"([1])", "expected an object"},
      {R"({"extra": 1})", "extra: unknown key"},
  };
  for (const auto& c : cases) {
    auto load = loadScene(c.scene, "");
    EXPECT_FALSE(load.scene) << c.scene;
    EXPECT_EQ(load.error, c.error) << c.scene;
  }
  auto bad = loadScene("{\"apps\": [", "");
  EXPECT_TRUE(bad.error.starts_with("not valid JSON: parse error")) << bad.error;
  EXPECT_EQ(loadSceneFile("/nonexistent/scene.json").error, "cannot read the scene file");

  std::string deep = R"({"apps": [{"pid": 1, "tree": )";
  for (int i = 0; i < 300; ++i)
    deep += R"({"children": [)";
  deep += "{}";
  for (int i = 0; i < 300; ++i)
    deep += "]}";
  deep += "}]}";
  auto nested = loadScene(deep, "");
  EXPECT_FALSE(nested.scene);
  EXPECT_NE(nested.error.find("nested deeper than 200 levels"), std::string::npos);
}

TEST(Scene, GeneratorsMakeLargeTreesFromSmallFiles) {
  auto load = loadScene(R"({"apps": [{"pid": 7, "tree": {"children": [
    {"id": "row", "role": "AXWindow", "frame": [0, 0, 10000, 100], "children": [
      {"repeat": 300, "step": [30, 0],
       "element": {"id": "b{i}", "role": "AXButton", "title": "Button {i}", "frame": [0, 0, 28, 20]}}
    ]},
    {"id": "deep", "role": "AXGroup", "children": [
      {"chain": 100, "element": {"role": "AXGroup", "title": "level {i}",
                                 "children": [{"id": "bottom", "role": "AXStaticText"}]}}
    ]},
    {"id": "texts", "role": "AXGroup", "children": [
      {"repeat": 10000, "element": {"role": "AXStaticText", "value": "line {i}"}}
    ]}
  ]}}], "permissions": {"accessibility": true}})",
                        "");
  auto& d = loaded(load);
  auto buttons = kids(d, el(d, "row"));
  ASSERT_EQ(buttons.size(), 300u);
  EXPECT_EQ(buttons[299], el(d, "b300"));
  EXPECT_EQ(d.copyAttribute(buttons[299], "AXTitle").value, AttrValue{std::string("Button 300")});
  EXPECT_EQ(d.copyAttribute(buttons[299], "AXPosition").value, AttrValue{(Point{8970, 0})});
  EXPECT_EQ(d.elementAtPosition(d.systemWide(), 8975, 5).value, buttons[299]);

  Element at = el(d, "deep");
  for (int level = 1; level <= 100; ++level) {
    auto next = kids(d, at);
    ASSERT_EQ(next.size(), 1u) << level;
    at = next[0];
    EXPECT_EQ(d.copyAttribute(at, "AXTitle").value, AttrValue{"level " + std::to_string(level)});
  }
  EXPECT_EQ(kids(d, at), std::vector<Element>{el(d, "bottom")});

  auto texts = kids(d, el(d, "texts"));
  ASSERT_EQ(texts.size(), 10000u);
  EXPECT_EQ(d.copyAttribute(texts[9999], "AXValue").value, AttrValue{std::string("line 10000")});
}

TEST(Scene, ChangesComeWithTimeAndInput) {
  auto load = loadScene(R"({
    "permissions": {"accessibility": true},
    "apps": [{"pid": 9, "name": "Browser", "bundle_id": "com.google.Chrome", "tree": {
      "children": [{"id": "win", "role": "AXWindow", "frame": [0, 0, 500, 500], "children": [
        {"id": "web", "role": "AXWebArea"},
        {"id": "field", "role": "AXTextField"},
        {"id": "go", "role": "AXButton", "title": "Go", "frame": [10, 10, 50, 20]}
      ]}]}}],
    "focus": "field",
    "changes": [
      {"when": {"write": "AXManualAccessibility", "pid": 9}, "after_ms": 400,
       "do": [{"add": "web", "children": [{"id": "hello", "role": "AXStaticText", "value": "Hello"}]}]},
      {"when": {"key": 36}, "do": [{"focus": "pw"}]},
      {"when": {"click": "go"}, "do": [{"set": "go", "title": "Going", "AXEnabled": false},
                                       {"remove": "hello"}]},
      {"when": {"at_ms": 5000}, "do": [{"frontmost": null}, {"quit": 9}]}
    ]})",
                        "");
  // The password field only appears with the change that focuses it.
  ASSERT_FALSE(load.scene);
  EXPECT_EQ(load.error, "changes[1].do[0].focus: no element has the id \"pw\"");

  load = loadScene(R"({
    "permissions": {"accessibility": true},
    "apps": [{"pid": 9, "name": "Browser", "bundle_id": "com.google.Chrome", "tree": {
      "children": [{"id": "win", "role": "AXWindow", "frame": [0, 0, 500, 500], "children": [
        {"id": "web", "role": "AXWebArea"},
        {"id": "pw", "role": "AXTextField", "subrole": "AXSecureTextField"},
        {"id": "go", "role": "AXButton", "title": "Go", "frame": [10, 10, 50, 20]}
      ]}]}}],
    "changes": [
      {"when": {"write": "AXManualAccessibility", "pid": 9}, "after_ms": 400,
       "do": [{"add": "web", "children": [{"id": "hello", "role": "AXStaticText", "value": "Hello"}]}]},
      {"when": {"key": 36}, "do": [{"focus": "pw"}]},
      {"when": {"click": "go"}, "do": [{"set": "go", "title": "Going", "AXEnabled": false},
                                       {"remove": "hello"}]},
      {"when": {"at_ms": 5000}, "do": [{"quit": 9}]}
    ]})",
                   "");
  auto& d = loaded(load);
  Element web = el(d, "web");
  EXPECT_TRUE(kids(d, web).empty());
  d.setAttribute(d.application(9), "AXManualAccessibility", true);
  d.clock().sleepMicros(399000);
  EXPECT_TRUE(kids(d, web).empty());
  d.clock().sleepMicros(1000);
  EXPECT_EQ(kids(d, web), std::vector<Element>{el(d, "hello")});

  Element sys = d.systemWide();
  EXPECT_EQ(d.copyAttribute(sys, "AXFocusedUIElement").status, AxStatus::noValue);
  d.post(*d.createKeyEvent(std::nullopt, 36, true));
  EXPECT_EQ(d.copyAttribute(sys, "AXFocusedUIElement").value, AttrValue{el(d, "pw")});

  d.post(*d.createMouseEvent(std::nullopt, MouseEventType::leftDown, {20, 20}, MouseButton::left));
  EXPECT_EQ(d.copyAttribute(el(d, "go"), "AXTitle").value, AttrValue{std::string("Going")});
  EXPECT_EQ(d.copyAttribute(el(d, "go"), "AXEnabled").value, AttrValue{false});
  EXPECT_TRUE(kids(d, web).empty());
  EXPECT_EQ(d.events().back().target, "go AXButton \"Go\"");

  d.clock().sleepMicros(5000000);
  EXPECT_TRUE(d.runningApplications().empty());
}

TEST(Scene, ClockAndEventLogSettings) {
  auto load = loadScene(R"({"clock": "real", "event_log": "/var/tmp/e.jsonl"})", "/x");
  ASSERT_TRUE(load.scene);
  EXPECT_TRUE(load.scene->realClock);
  EXPECT_EQ(&load.scene->desktop->clock(), &steadyClock());
  EXPECT_EQ(load.scene->eventLog, "/var/tmp/e.jsonl");
  auto empty = loadScene("{}", "");
  ASSERT_TRUE(empty.scene);
  EXPECT_FALSE(empty.scene->eventLog);
  EXPECT_FALSE(empty.scene->desktop->isTrusted());
  EXPECT_FALSE(empty.scene->desktop->frontmostApplication());
  auto refusing = loadScene(R"({"input": {"sources": false, "refuse_after": 1}})", "");
  auto& d = loaded(refusing);
  EXPECT_FALSE(d.createSource());
  EXPECT_TRUE(d.createKeyEvent(std::nullopt, 1, true));
  EXPECT_FALSE(d.createKeyEvent(std::nullopt, 1, false));
}

TEST(Scene, OpenAnswersCanLaunchAnApplicationWithItsTree) {
  auto load = loadScene(R"({
    "permissions": {"accessibility": true},
    "bundles": [{"path": "/Applications/Notes.app", "bundle_id": "com.example.notes"}],
    "open": [{"path": "/Applications/Notes.app", "delay_ms": 1,
              "app": {"pid": 77, "name": "Notes", "bundle_id": "com.example.notes",
                      "tree": {"children": [{"id": "nw", "role": "AXWindow", "title": "Notes"}]}}}]
  })",
                        "");
  auto& d = loaded(load);
  EXPECT_EQ(d.copyAttribute(el(d, "nw"), "AXTitle").status, AxStatus::cannotComplete);
  std::optional<RunningApp> opened;
  d.openApplication("/Applications/Notes.app", {}, [&](auto app, auto) { opened = app; });
  d.waitForOpens();
  ASSERT_TRUE(opened);
  EXPECT_EQ(opened->pid, 77);
  EXPECT_EQ(d.frontmostApplication()->pid, 77);
  EXPECT_EQ(d.copyAttribute(el(d, "nw"), "AXTitle").value, AttrValue{std::string("Notes")});
}

} // namespace
} // namespace plenk
