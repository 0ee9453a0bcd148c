// A Wayland session (tools/wayland-session, sway, GNOME Shell or KWin) with Wayland and XWayland
// windows side by side: the front application, activation and rectangles, judged by the
// compositor's own view (sway's tree, GNOME Shell's window list, a KWin script's).
#include "tests/desktop/desktop.hpp"
#include "tests/desktop/input_support.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

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

TEST(WaylandSession, ActivationAndTheFrontWindowFollowTheCompositorAcrossWaylandAndX11Windows) {
  if (!desktop::inCompositor()) GTEST_SKIP() << "runs inside tools/wayland-session";
  auto gtk3 = desktop::startApp(Toolkit::gtk3, {"--title", "Wayland GTK3"});
  auto gtk4 = desktop::startApp(Toolkit::gtk4, {"--title", "Wayland GTK4"});
  auto x11 = startX11App(Toolkit::gtk3, "XWayland GTK3");
  ASSERT_TRUE(gtk3 && gtk4 && x11);
  ASSERT_TRUE(x11->waitActive());
  auto x11Window = desktop::compositorWindow("XWayland GTK3");
  ASSERT_TRUE(x11Window && x11Window->x11 && !desktop::compositorWindow("Wayland GTK4")->x11);

  desktop::Hands hands;
  ASSERT_TRUE(hands.started());
  for (int round = 0; round < 2; ++round)
    for (auto* app : {gtk3.get(), x11.get(), gtk4.get()}) {
      SCOPED_TRACE(app->title());
      ASSERT_EQ(hands.ask("activate", {{"pid", app->pid()}}).value("ok", false), true)
          << hands.lastAnswer();
      auto front = desktop::compositorWindow(app->title());
      ASSERT_TRUE(front);
      EXPECT_TRUE(front->focused) << "the compositor did not focus it";
      Json frontmost = hands.result("frontmost");
      EXPECT_EQ(frontmost["app"]["pid"], app->pid()) << hands.lastAnswer();
      EXPECT_EQ(frontmost["window"], app->title());
      // The button where the window's own layout and the compositor's rectangle put it, and
      // what is at its centre.
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

// A compositor of its own (a second headless sway) that goes away under a running plenk-hands:
// input is refused with "helper_failed", probe says the screen is gone, nothing crashes.
TEST(WaylandSession, ACompositorThatGoesAwayGivesHelperFailedAndNoCrash) {
  if (!desktop::inSway()) GTEST_SKIP() << "runs inside tools/wayland-session";
  desktop::TempFolder run;
  ::chmod(run.path.c_str(), 0700);
  std::ofstream(run.path + "/config") << "xwayland disable\n";
  std::vector<std::string> argv{
      "/usr/bin/env",  "-u", "WAYLAND_DISPLAY",   "-u", "SWAYSOCK", "XDG_RUNTIME_DIR=" + run.path,
      "/usr/bin/sway", "-c", run.path + "/config"};
  // sway refuses root: as tools/wayland-session does, it runs as nobody in a folder it owns.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(run.path.c_str(), 65534, 65534), 0);
    argv.insert(argv.begin(),
                {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"});
  }
  auto sway = std::make_unique<desktop::Process>(argv);
  std::string display, socket;
  ASSERT_TRUE(desktop::waitUntil(
      [&] {
        for (const auto& e : std::filesystem::directory_iterator(run.path)) {
          std::string name = e.path().filename();
          if (name.starts_with("wayland-") && !name.ends_with(".lock")) display = name;
          if (name.starts_with("sway-ipc.")) socket = e.path();
        }
        return !display.empty() && !socket.empty();
      },
      10000));
  desktop::Hands hands({"/usr/bin/env", "XDG_RUNTIME_DIR=" + run.path, "WAYLAND_DISPLAY=" + display,
                        "SWAYSOCK=" + socket, testing::binDir() + "/plenk-hands"});
  Json probe = hands.result("probe");
  ASSERT_TRUE(probe.is_object()) << hands.lastAnswer();
  EXPECT_EQ(probe["screen"], true);
  EXPECT_TRUE(hands.result("click", {{"x", 10}, {"y", 10}}).is_object()) << hands.lastAnswer();

  sway->end();
  EXPECT_EQ(hands.ask("click", {{"x", 10}, {"y", 10}}).value("code", ""), "helper_failed");
  EXPECT_EQ(hands.ask("type", {{"text", "é"}}).value("code", ""), "helper_failed");
  probe = hands.result("probe");
  ASSERT_TRUE(probe.is_object()) << hands.lastAnswer();
  EXPECT_EQ(probe["screen"], false);
  EXPECT_EQ(hands.ask("frontmost").value("ok", true), false);
}

// A GNOME Shell of its own, with its own buses and home and without plenk-hands' extension: the
// window list is missing until accessibility is asked for, which installs and enables the
// extension; the shell loads it at the next login (a new shell), and then reading works.
TEST(WaylandSession, OnGnomeAskingForAccessibilityInstallsTheExtensionSeenAtTheNextLogin) {
  if (!desktop::inGnome()) GTEST_SKIP() << "runs inside tools/wayland-session --gnome";
  desktop::TempFolder root;
  ::chmod(root.path.c_str(), 0700);
  std::string bus = "unix:path=" + root.path + "/bus";
  std::vector<std::string> env{"/usr/bin/env",
                               "-u",
                               "DISPLAY",
                               "-u",
                               "WAYLAND_DISPLAY",
                               "XDG_RUNTIME_DIR=" + root.path,
                               "HOME=" + root.path,
                               "XDG_DATA_HOME=" + root.path + "/data",
                               "XDG_CONFIG_HOME=" + root.path + "/config",
                               "DBUS_SESSION_BUS_ADDRESS=" + bus,
                               "GSETTINGS_BACKEND=keyfile"};
  auto with = [&](std::vector<std::string> argv) {
    argv.insert(argv.begin(), env.begin(), env.end());
    return argv;
  };
  desktop::Process dbus(
      with({"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}));
  ASSERT_TRUE(
      desktop::waitUntil([&] { return std::filesystem::exists(root.path + "/bus"); }, 10000));
  desktop::Process atspi(
      with({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately", "--a11y=1"}));
  desktop::Process pipewire(with({"/usr/bin/pipewire"}));
  ASSERT_TRUE(desktop::waitUntil([&] { return std::filesystem::exists(root.path + "/pipewire-0"); },
                                 10000));
  auto shellAnswers = [&](const std::string& path, const std::string& method) {
    return desktop::shell("gdbus call --address '" + bus + "' --dest org.gnome.Shell " +
                          "--object-path " + path + " --method " + method) != "";
  };
  auto startShell = [&] {
    auto shell =
        std::make_unique<desktop::Process>(with({"/usr/bin/gnome-shell", "--headless", "--wayland",
                                                 "--no-x11", "--virtual-monitor", "640x480"}));
    bool up = desktop::waitUntil(
        [&] {
          return shellAnswers("/org/gnome/Shell",
                              "org.freedesktop.DBus.Properties.Get org.gnome.Shell ShellVersion");
        },
        30000);
    return up ? std::move(shell) : nullptr;
  };
  auto shell = startShell();
  ASSERT_TRUE(shell) << "the second GNOME Shell did not come up";

  desktop::Hands hands(with({"WAYLAND_DISPLAY=wayland-0", testing::binDir() + "/plenk-hands"}));
  Json probe = hands.result("probe");
  ASSERT_TRUE(probe.is_object()) << hands.lastAnswer();
  EXPECT_EQ(probe["accessibility"], false) << "no window list without the extension";
  EXPECT_EQ(probe["screen"], true) << "input needs no extension";
  EXPECT_EQ(hands.ask("elements").value("code", ""), "no_permission");
  EXPECT_EQ(hands.result("request", {{"what", "accessibility"}})["granted"], false)
      << "the running shell cannot load a new extension";
  std::string folder = root.path + "/data/gnome-shell/extensions/plenk-hands-windows@plenk";
  EXPECT_NE(desktop::fileText(folder + "/metadata.json").find("\"43\""), std::string::npos);
  EXPECT_NE(desktop::fileText(folder + "/extension.js").find("org.plenk.Hands.Windows"),
            std::string::npos);
  EXPECT_NE(desktop::fileText(root.path + "/config/glib-2.0/settings/keyfile")
                .find("plenk-hands-windows@plenk"),
            std::string::npos);
  EXPECT_FALSE(shellAnswers("/org/plenk/Hands/Windows", "org.plenk.Hands.Windows.List"));

  // Logging in again: a new shell, which loads the extension.
  shell->end();
  shell = startShell();
  ASSERT_TRUE(shell);
  EXPECT_TRUE(desktop::waitUntil(
      [&] { return shellAnswers("/org/plenk/Hands/Windows", "org.plenk.Hands.Windows.List"); },
      10000))
      << "the new shell did not load the installed extension";
  EXPECT_TRUE(desktop::waitUntil(
      [&] { return hands.result("probe").value("accessibility", false); }, 10000))
      << hands.lastAnswer();
}

// An X11 window under XWayland gets its keys through XTEST, as on an X11 desktop: in every
// compositor it takes any character, also where the compositor's own keyboard types only what
// the user's layout holds (Mutter, KWin), as the file the editor saves shows. (Refusing what
// cannot be typed is Chromium's test.)
TEST(WaylandSession, AnX11WindowGetsItsKeysThroughXTestWhateverTheLayoutLacks) {
  if (!desktop::inCompositor()) GTEST_SKIP() << "runs inside tools/wayland-session";
  desktop::TempFolder folder;
  const std::string path = folder.path + "/note.txt";
  std::ofstream(path) << "Note\n";
  // Qt draws on X11 here: Debian's Qt Wayland plugin is not installed.
  desktop::Process app({"/usr/bin/featherpad", "--standalone", path});
  ASSERT_TRUE(desktop::windowOfProcess(app.pid(), 30000)) << "FeatherPad showed no window";
  desktop::Hands hands;
  ASSERT_TRUE(desktop::waitUntil(
      [&] {
        return hands.ask("activate", {{"pid", app.pid()}}).value("ok", false);
      },
      10000));
  ASSERT_TRUE(desktop::waitUntil(
      [&] {
        for (const auto& w : desktop::compositorWindows())
          if (w.pid == app.pid() && w.focused && w.x11) return true;
        return false;
      },
      5000))
      << "FeatherPad's X11 window did not get the focus";
  ASSERT_TRUE(hands.result("key", {{"key", "cmd+end"}}).is_object()) << hands.lastAnswer();
  const std::string typed = "Zoë Ünal — naïve ÉÄΩ 😀 日本語";
  ASSERT_TRUE(hands.result("type", {{"text", typed}}).is_object()) << hands.lastAnswer();
  ASSERT_TRUE(hands.result("key", {{"key", "cmd+s"}}).is_object()) << hands.lastAnswer();
  // FeatherPad ends the file with a line end of its own.
  const std::string expected = "Note\n" + typed + "\n";
  EXPECT_TRUE(desktop::waitUntil([&] { return desktop::fileText(path) == expected; }, 10000))
      << desktop::fileText(path);
}

// KWin offers its fake input only to a program that a desktop entry names with it: a copy of
// plenk-hands at a new path sends nothing until input is asked for, which writes its entry; then
// its clicks and typing reach a window, as the window says.
TEST(WaylandSession, OnKdeAskingForInputWritesTheEntryThatLetsPlenkHandsIn) {
  if (!desktop::inKde()) GTEST_SKIP() << "runs inside tools/wayland-session --kde";
  desktop::TempFolder folder;
  const std::string copy = folder.path + "/plenk-hands";
  std::filesystem::copy_file(testing::binDir() + "/plenk-hands", copy);
  testing::Probe probe("3");
  ASSERT_TRUE(probe.ready()) << probe.child.err;

  desktop::Hands hands({copy});
  Json probed = hands.result("probe");
  ASSERT_TRUE(probed.is_object()) << hands.lastAnswer();
  EXPECT_EQ(probed["screen"], false);
  EXPECT_EQ(hands.ask("click", probe.at("entry")).value("ok", true), false);
  EXPECT_EQ(hands.result("request", {{"what", "screen"}}), (Json{{"granted", true}}))
      << hands.lastAnswer();
  bool named = false;
  for (const auto& e : std::filesystem::directory_iterator(
           std::string(std::getenv("XDG_DATA_HOME")) + "/applications")) {
    std::string text = desktop::fileText(e.path());
    if (text.find("Exec=" + copy + "\n") != std::string::npos) {
      named = true;
      EXPECT_NE(text.find("X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input"), std::string::npos);
      std::filesystem::remove(e.path());
    }
  }
  EXPECT_TRUE(named) << "no desktop entry names " << copy;

  ASSERT_TRUE(hands.result("click", probe.at("entry")).is_object()) << hands.lastAnswer();
  ASSERT_TRUE(hands.result("type", {{"text", "Zoë Ünal"}}).is_object()) << hands.lastAnswer();
  Json typed = probe.lines.waitFor(
      [](const Json& j) { return j.value("event", "") == "entry" && j["text"] == "Zoë Ünal"; },
      10000);
  EXPECT_TRUE(typed.is_object()) << probe.child.out;
}

// A Wayland compositor that offers nothing better gets input through the desktop portal, which
// asks the user in a dialog of its own (here a stand-in that holds its answer until the test
// consents): asking for input answers at once, no event goes out before the user allowed it, and
// then clicks, scrolls, chords and typing arrive as the portal's notifications, the pointer in
// the coordinates of the monitor that holds the point. What the US layout lacks is refused.
TEST(WaylandSession, ElsewhereThePortalAsksTheUserAndCarriesTheInputOnceAllowed) {
  if (desktop::inCompositor()) GTEST_SKIP() << "runs in the X11 session, as another compositor";
  desktop::TempFolder folder;
  const std::string log = folder.path + "/portal.log", consent = folder.path + "/consent";
  desktop::Process portal({"/usr/bin/python3",
                           testing::sourceDir() + "/tests/desktop/apps/fake_portal.py", log,
                           consent});
  auto notes = [&] {
    std::vector<Json> out;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
      out.push_back(Json::parse(line));
    return out;
  };
  ASSERT_TRUE(desktop::waitUntil([&] { return !notes().empty(); }, 10000)) << "no portal";
  if (notes().front()["method"] == "lost") GTEST_SKIP() << "a real portal holds the bus name";
  // A Wayland display without virtual devices.
  desktop::Hands hands(
      {"/usr/bin/env", "WAYLAND_DISPLAY=plenk-nowhere", testing::binDir() + "/plenk-hands"});
  EXPECT_EQ(hands.result("probe").value("screen", true), false) << hands.lastAnswer();
  EXPECT_EQ(hands.ask("click", {{"x", 700}, {"y", 300}}).value("code", ""), "helper_failed");
  EXPECT_EQ(hands.result("request", {{"what", "screen"}}).value("granted", true), false)
      << hands.lastAnswer();
  ASSERT_TRUE(desktop::waitUntil(
      [&] {
        for (const auto& n : notes())
          if (n["method"] == "Start") return true;
        return false;
      },
      5000))
      << "the dialog was not asked for";
  EXPECT_EQ(hands.result("probe").value("screen", true), false) << "allowed before the user did";
  std::ofstream(consent) << "yes";
  ASSERT_TRUE(
      desktop::waitUntil([&] { return hands.result("probe").value("screen", false); }, 5000));

  ASSERT_TRUE(hands.result("click", {{"x", 700}, {"y", 300}}).is_object()) << hands.lastAnswer();
  ASSERT_TRUE(hands.result("scroll", {{"x", 100}, {"y", 50}, {"dy", 2}}).is_object())
      << hands.lastAnswer();
  ASSERT_TRUE(hands.result("key", {{"key", "cmd+s"}}).is_object()) << hands.lastAnswer();
  ASSERT_TRUE(hands.result("type", {{"text", "Hi!"}}).is_object()) << hands.lastAnswer();
  EXPECT_EQ(hands.ask("type", {{"text", "Zoë"}}).value("code", ""), "helper_failed");
  hands.finish(10000);

  std::vector<std::string> got;
  std::set<std::string> sessions;
  for (const auto& n : notes()) {
    std::string method = n["method"];
    if (!method.starts_with("Notify")) continue;
    sessions.insert(n["session"].get<std::string>());
    std::string event = method.substr(6) + " " + n["values"].dump();
    // The pointer is put at its point with each of the click's events: once is enough here.
    if (got.empty() || got.back() != event || !event.starts_with("PointerMotion"))
      got.push_back(event);
  }
  const std::vector<std::string> expected = {
      // The click: the second monitor's stream, then the left button down and up.
      "PointerMotionAbsolute [42,60.0,300.0]", "PointerButton [272,1]", "PointerButton [272,0]",
      "PointerMotionAbsolute [42,60.0,300.0]",
      // Two notches up on the first monitor.
      "PointerMotionAbsolute [41,100.0,50.0]", "PointerAxisDiscrete [0,-2]",
      // Control+s as keysyms, released in reverse.
      "KeyboardKeysym [65507,1]", "KeyboardKeysym [115,1]", "KeyboardKeysym [115,0]",
      "KeyboardKeysym [65507,0]",
      // Each character its keysym, nothing of "Zoë".
      "KeyboardKeysym [72,1]", "KeyboardKeysym [72,0]", "KeyboardKeysym [105,1]",
      "KeyboardKeysym [105,0]", "KeyboardKeysym [33,1]", "KeyboardKeysym [33,0]"};
  EXPECT_EQ(got, expected);
  EXPECT_EQ(sessions.size(), 1u) << "one session for every event";
}

} // namespace
} // namespace plenk
