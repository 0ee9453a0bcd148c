// resolve_app, list_apps, open_app and activate through the real plenk-hands on the session's
// desktop: test desktop entries in the session's data folder, GTK test windows, openbox.
#include "platform/text.hpp"
#include "tests/desktop/apps_session.hpp"
#include "tests/support/fixtures.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

using desktop::Hands;
using testing::activePid;
using testing::request;
using testing::TestWindow;

std::string windowCommand(const std::string& title, const std::string& windowClass) {
  return "/usr/bin/python3 " + testing::APPS_WINDOW + " \"" + title + "\" " + windowClass;
}

class AppsDesktop : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!testing::sessionMissing().empty()) return;
    // Matched by StartupWMClass.
    testing::installEntry("org.plenk.test.PlenkAlpha.desktop",
                          "[Desktop Entry]\nType=Application\nName=Plenk Alpha\nExec=" +
                              windowCommand("Alpha window", "PlenkAlpha") +
                              "\nStartupWMClass=PlenkAlpha\nStartupNotify=true\n");
    // Matched by the application id the window gives.
    testing::installEntry("org.plenk.test.PlenkBeta.desktop",
                          "[Desktop Entry]\nType=Application\nName=Plenk Beta\nExec=" +
                              windowCommand("Beta window", "PlenkBeta") + "\n");
    // A command that exists but cannot start: its interpreter is missing.
    std::string broken = std::string(std::getenv("XDG_DATA_HOME")) + "/plenk-broken-command";
    std::ofstream(broken) << "#!/nonexistent/plenk-missing-interpreter\n";
    std::filesystem::permissions(broken, std::filesystem::perms::owner_all);
    testing::installEntry("plenk-broken.desktop",
                          "[Desktop Entry]\nType=Application\nName=Plenk Broken\nExec=" + broken +
                              "\n");
    // A command that does not exist: GIO, like the menu, leaves the entry out.
    testing::installEntry("plenk-missing.desktop",
                          "[Desktop Entry]\nType=Application\nName=Plenk Missing\n"
                          "Exec=/nonexistent/plenk-missing-command\n");
    testing::installEntry("plenk-quits.desktop",
                          "[Desktop Entry]\nType=Application\nName=Plenk Quits\nExec=" +
                              testing::APPS_WINDOW + " --exit-status 3\n");
    // Hands over: the launched process ends at once, a detached one shows the window.
    testing::installEntry("org.plenk.test.PlenkHandoff.desktop",
                          "[Desktop Entry]\nType=Application\nName=Plenk Handoff\nExec=" +
                              windowCommand("Handoff window", "PlenkHandoff") +
                              " --detach\nStartupWMClass=PlenkHandoff\n");
    testing::installEntry("plenk-hidden.desktop", "[Desktop Entry]\nType=Application\n"
                                                  "Name=Plenk Hidden\nExec=true\nNoDisplay=true\n");
    testing::installEntry("plenk-link.desktop",
                          "[Desktop Entry]\nType=Link\nName=Plenk Link\nURL=https://example.org\n");
    testing::installEntry("plenk-malformed.desktop", "this is [not a desktop entry\n\xff\xfe=\n");
  }
  void SetUp() override {
    if (auto missing = testing::sessionMissing(); !missing.empty()) FAIL() << missing;
  }
};

const Json ALPHA = {
    {"name", "Plenk Alpha"}, {"bundle_id", "org.plenk.test.PlenkAlpha"}, {"pid", 0}};

TEST_F(AppsDesktop, ResolveByDisplayNameFileNameAndDesktopId) {
  Hands hands;
  struct Case {
    std::string name;
    Json app; // null: not found
  };
  const Case cases[] = {
      {"Plenk Alpha", ALPHA},
      {"  plenk alpha \n", ALPHA},
      {"PLENK ALPHA.app", ALPHA},
      {"Plenk Alpha.APP", ALPHA},
      {"org.plenk.test.PlenkAlpha", ALPHA},
      {" org.plenk.test.plenkalpha ", ALPHA},
      {"org.plenk.test.PlenkAlpha.desktop", ALPHA},
      // A desktop id without dots is an extra name of its entry; the answer gives its Name.
      {"plenk-quits", {{"name", "Plenk Quits"}, {"bundle_id", "plenk-quits"}, {"pid", 0}}},
      {"firefox-esr", {{"name", "Firefox ESR"}, {"bundle_id", "firefox-esr"}, {"pid", 0}}},
      {"Plenk Hidden", nullptr},
      {"Plenk Missing", nullptr},
      {"Plenk Link", nullptr},
      {"plenk-malformed", nullptr},
      {"org.plenk.test.Nothing", nullptr},
  };
  int id = 0;
  for (const auto& c : cases) {
    Json answer = hands.answerTo(request(++id, "resolve_app", {{"name", c.name}}));
    if (c.app.is_null()) {
      EXPECT_EQ(answer["code"], "not_found") << c.name;
      EXPECT_EQ(answer["error"],
                "There is no app called " + std::string(text::trim(c.name)) + " on this computer.")
          << c.name;
    } else {
      EXPECT_EQ(answer["result"]["app"], c.app) << c.name << ": " << answer.dump();
    }
  }
  // Nothing is kept between requests: an entry installed now is found at once.
  testing::installEntry("plenk-late.desktop",
                        "[Desktop Entry]\nType=Application\nName=Plenk Late\nExec=true\n");
  EXPECT_EQ(hands.answerTo(request(++id, "resolve_app", {{"name", "plenk late"}}))["result"]["app"],
            (Json{{"name", "Plenk Late"}, {"bundle_id", "plenk-late"}, {"pid", 0}}));
}

TEST_F(AppsDesktop, ListShowsMenuEntriesAndRunningTestApps) {
  TestWindow beta("Beta window", "PlenkBeta");
  // No entry says anything of this one; it runs as python3.11, which the system's Python entry
  // would claim by its executable.
  TestWindow gamma("Gamma window", "PlenkGamma");
  ASSERT_TRUE(beta.shown && gamma.shown);
  Hands hands;
  Json result = hands.answerTo(request(1, "list_apps"))["result"];
  std::vector<std::string> installed = result["installed"];
  for (const char* name : {"Plenk Alpha", "Plenk Beta", "Plenk Broken", "Plenk Quits"})
    EXPECT_NE(std::find(installed.begin(), installed.end(), name), installed.end()) << name;
  for (const char* name :
       {"Plenk Hidden", "Plenk Missing", "Plenk Link", "plenk-quits", "plenk-malformed"})
    EXPECT_EQ(std::find(installed.begin(), installed.end(), name), installed.end()) << name;
  // Sorted as the folder's entries are, ".app" included: "LibreOffice Writer" before
  // "LibreOffice".
  std::vector<std::string> entries;
  for (const auto& name : installed)
    entries.push_back(name + ".app");
  EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end())) << result["installed"];
  // In the order the windows were mapped.
  Json betaRecord = {{"name", "Plenk Beta"}, {"bundle_id", "org.plenk.test.PlenkBeta"}};
  Json gammaRecord = {{"name", "PlenkGamma"}, {"bundle_id", "org.plenk.test.PlenkGamma"}};
  const Json& running = result["running"];
  auto betaAt = std::find(running.begin(), running.end(), betaRecord);
  auto gammaAt = std::find(running.begin(), running.end(), gammaRecord);
  EXPECT_TRUE(betaAt != running.end() && gammaAt != running.end() && betaAt < gammaAt)
      << running.dump();
  // A running application is found by its display name.
  EXPECT_EQ(
      hands.answerTo(request(2, "resolve_app", {{"name", "plenk beta"}}))["result"]["app"]["name"],
      "Plenk Beta");
}

TEST_F(AppsDesktop, UsersEntriesHideAndReplaceTheSystemsAndSubfoldersCount) {
  testing::TempDir system;
  std::filesystem::create_directories(system.path / "applications" / "sub");
  auto entry = [](const std::string& name, const std::string& more = "") {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=true\n" + more;
  };
  std::ofstream(system / "applications/plenk-gone.desktop") << entry("Plenk Gone");
  std::ofstream(system / "applications/plenk-replaced.desktop") << entry("Plenk Old");
  std::ofstream(system / "applications/sub/plenk-nested.desktop") << entry("Plenk Nested");
  testing::installEntry("plenk-gone.desktop", entry("Plenk Gone", "Hidden=true\n"));
  testing::installEntry("plenk-replaced.desktop", entry("Plenk New"));
  Hands hands({"/usr/bin/env", "XDG_DATA_DIRS=" + system.path.string() + ":/usr/share",
               testing::binDir() + "/plenk-hands"});
  std::vector<std::string> installed =
      hands.answerTo(request(1, "list_apps"))["result"]["installed"];
  auto listed = [&](const char* name) {
    return std::find(installed.begin(), installed.end(), name) != installed.end();
  };
  EXPECT_FALSE(listed("Plenk Gone"));
  EXPECT_FALSE(listed("Plenk Old"));
  EXPECT_TRUE(listed("Plenk New"));
  EXPECT_TRUE(listed("Plenk Nested"));
  EXPECT_EQ(
      hands.answerTo(request(2, "resolve_app", {{"name", "sub-plenk-nested"}}))["result"]["app"],
      (Json{{"name", "Plenk Nested"}, {"bundle_id", "sub-plenk-nested"}, {"pid", 0}}));
  EXPECT_EQ(
      hands.answerTo(request(3, "resolve_app", {{"name", "plenk-replaced"}}))["result"]["app"],
      (Json{{"name", "Plenk New"}, {"bundle_id", "plenk-replaced"}, {"pid", 0}}));
}

TEST_F(AppsDesktop, OpenLaunchesAnswersAfterTheWindowThenActivatesWhenRunning) {
  Hands hands;
  hands.send(request(1, "open_app", {{"name", "Plenk Alpha"}}));
  hands.send(request(2, "probe"));
  // The probe does not wait for the window.
  Json first = hands.next();
  EXPECT_EQ(first["id"], 2);
  Json opened = hands.next();
  ASSERT_EQ(opened["id"], 1) << opened.dump();
  ASSERT_EQ(opened["ok"], true) << opened.dump();
  int pid = opened["result"]["app"]["pid"];
  hands.opened.push_back(pid);
  EXPECT_EQ(opened["result"]["app"]["name"], "Plenk Alpha");
  EXPECT_EQ(opened["result"]["app"]["bundle_id"], "org.plenk.test.PlenkAlpha");
  EXPECT_GE(testing::windowsOf(pid), 1) << "the answer came before the window";
  EXPECT_TRUE(testing::waitUntil([&] { return activePid() == pid; }, 3000));

  // Running already: the same process, in front, answered without a second launch.
  TestWindow beta("Beta window", "PlenkBeta");
  ASSERT_TRUE(beta.shown);
  ASSERT_TRUE(testing::waitUntil([&] { return activePid() == beta.pid; }, 3000));
  Json again = hands.answerTo(request(3, "open_app", {{"name", "org.plenk.test.PlenkAlpha"}}));
  EXPECT_EQ(again["result"]["app"]["pid"], pid) << again.dump();
  // The window manager takes the activation after the answer.
  EXPECT_TRUE(testing::waitUntil([&] { return activePid() == pid; }, 3000));
  EXPECT_EQ(testing::windowsOf(pid), 1);
}

TEST_F(AppsDesktop, OpenOfALauncherThatHandsOverAnswersWithTheWindowsProcess) {
  Hands hands;
  Json opened = hands.answerTo(request(1, "open_app", {{"name", "Plenk Handoff"}}));
  ASSERT_EQ(opened["ok"], true) << opened.dump();
  int pid = opened["result"]["app"]["pid"];
  hands.opened.push_back(pid);
  EXPECT_EQ(opened["result"]["app"]["name"], "Plenk Handoff");
  EXPECT_GE(testing::windowsOf(pid), 1);
}

TEST_F(AppsDesktop, OpenFailuresAnswerHelperFailedWithTheReason) {
  Hands hands;
  Json broken = hands.answerTo(request(1, "open_app", {{"name", "Plenk Broken"}}));
  EXPECT_EQ(broken["code"], "helper_failed");
  std::string why = broken["error"];
  EXPECT_TRUE(why.starts_with("Plenk Broken did not open: ")) << why;
  EXPECT_NE(why.find("plenk-broken-command"), why.npos) << why;

  Json quits = hands.answerTo(request(2, "open_app", {{"name", "plenk quits"}}));
  EXPECT_EQ(quits, (Json{{"id", 2},
                         {"ok", false},
                         {"code", "helper_failed"},
                         {"error", "Plenk Quits did not open: it ended before showing a window "
                                   "(exit status 3)."}}));
  EXPECT_EQ(hands.answerTo(request(3, "open_app", {{"name", "Plenk Hidden"}}))["code"],
            "not_found");
}

TEST_F(AppsDesktop, ActivateSwitchesBetweenTwoApps) {
  TestWindow alpha("Alpha window", "PlenkAlpha");
  TestWindow beta("Beta window", "PlenkBeta");
  ASSERT_TRUE(alpha.shown && beta.shown);
  // The window shown last takes the focus a moment after it shows (GNOME once its map is done):
  // activating another window before that loses the focus to it again.
  ASSERT_TRUE(testing::waitUntil([&] { return activePid() == beta.pid; }, 3000));
  Hands hands;
  int id = 0;
  const std::pair<pid_t, Json> apps[] = {
      {alpha.pid, {{"name", "Plenk Alpha"}, {"bundle_id", "org.plenk.test.PlenkAlpha"}}},
      {beta.pid, {{"name", "Plenk Beta"}, {"bundle_id", "org.plenk.test.PlenkBeta"}}}};
  for (int round = 0; round < 2; ++round)
    for (const auto& [pid, record] : apps) {
      Json answer = hands.answerTo(request(++id, "activate", {{"pid", pid}}));
      EXPECT_EQ(answer["result"], (Json{{"activated", true}})) << answer.dump();
      EXPECT_EQ(activePid(), pid);
      Json front = hands.answerTo(request(++id, "frontmost"));
      Json expected = record;
      expected["pid"] = pid;
      EXPECT_EQ(front["result"]["app"], expected) << front.dump();
    }
  // A process without a window is not a running application.
  Json notRunning =
      hands.answerTo(request(++id, "activate", {{"pid", static_cast<int>(getpid())}}));
  EXPECT_EQ(notRunning["error"], "That app is not running.");
}

TEST_F(AppsDesktop, ChromiumOpensWithItsAccessibilityTreeOn) {
  // Root (as in CI) runs Chromium only without its sandbox; the profile stays in the session.
  std::string profile = std::string(std::getenv("XDG_DATA_HOME")) + "/plenk-chromium-profile";
  testing::installEntry("plenk-chromium.desktop",
                        "[Desktop Entry]\nType=Application\nName=Plenk Chromium\n"
                        "Exec=/usr/bin/chromium --no-sandbox --user-data-dir=" +
                            profile + " about:blank\nStartupNotify=true\n");
  Hands hands;
  Json opened = hands.answerTo(request(1, "open_app", {{"name", "Plenk Chromium"}}));
  ASSERT_EQ(opened["ok"], true) << opened.dump();
  int pid = opened["result"]["app"]["pid"];
  hands.opened.push_back(pid);
  std::string command = testing::capture("tr '\\0' ' ' </proc/" + std::to_string(pid) + "/cmdline");
  EXPECT_NE(command.find("--force-renderer-accessibility"), command.npos) << command;
  EXPECT_GE(testing::windowsOf(pid), 1);
}

TEST_F(AppsDesktop, WithoutAWindowManagerAnswersWhatCanBeKnown) {
  // An X server of its own, with no window manager on it.
  testing::TempDir dir;
  std::string script = "Xvfb -displayfd 3 -nolisten tcp 3>" + (dir / "display") +
                       " >/dev/null 2>&1 & echo $! >" + (dir / "pid");
  ASSERT_EQ(std::system(script.c_str()), 0);
  int server = std::stoi(testing::capture("cat " + (dir / "pid")));
  ASSERT_TRUE(
      testing::waitUntil([&] { return !testing::capture("cat " + (dir / "display")).empty(); }));
  std::string display =
      ":" + std::to_string(std::stoi(testing::capture("cat " + (dir / "display"))));
  std::string command = "DISPLAY=" + display + " /usr/bin/python3 " + testing::APPS_WINDOW +
                        " 'Lone window' PlenkLone >/dev/null 2>&1 & echo $!";
  pid_t window = std::stoi(testing::capture(command));
  {
    Hands hands({"/usr/bin/env", "DISPLAY=" + display, testing::binDir() + "/plenk-hands"});
    Json running;
    // The window is there once list_apps sees it; nothing waits for a window manager.
    ASSERT_TRUE(testing::waitUntil([&] {
      running = hands.answerTo(request(1, "list_apps"))["result"]["running"];
      return !running.empty();
    }));
    EXPECT_EQ(running,
              (Json::array({{{"name", "PlenkLone"}, {"bundle_id", "org.plenk.test.PlenkLone"}}})));
    EXPECT_EQ(hands.answerTo(request(2, "activate", {{"pid", window}}))["result"]["activated"],
              false);
  }
  if (window > 1) kill(window, SIGTERM);
  if (server > 1) kill(server, SIGTERM);
}

TEST_F(AppsDesktop, WithoutAnXServerAnswersWhatCanBeKnown) {
  Hands hands({"/usr/bin/env", "DISPLAY=:65000", testing::binDir() + "/plenk-hands"});
  Json listed = hands.answerTo(request(1, "list_apps"));
  EXPECT_EQ(listed["result"]["running"], Json::array());
  EXPECT_FALSE(listed["result"]["installed"].empty());
  EXPECT_EQ(hands.answerTo(request(2, "activate", {{"pid", 1}}))["code"], "bad_args");
  Json opened = hands.answerTo(request(3, "open_app", {{"name", "Plenk Alpha"}}));
  EXPECT_EQ(opened["error"], "Plenk Alpha did not open: the desktop's windows cannot be seen.");
}

} // namespace
} // namespace plenk
