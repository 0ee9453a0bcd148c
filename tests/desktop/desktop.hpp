// Support for end-to-end tests on a real desktop (run inside tools/desktop-session): start a test
// application and wait for its window, read X11 window geometry, and talk to the real plenk-hands
// binary over pipes.
//
//   ASSERT_EQ(desktop::sessionProblem(), "");
//   auto app = desktop::startApp(desktop::Toolkit::gtk3, {"--title", "Mine"});
//   ASSERT_TRUE(app) << "...";
//   desktop::Hands hands;
//   Json answer = hands.ask("elements", {{"max", 50}});
//   desktop::Box ok = app->widget("ok_button"); // screen coordinates
#pragma once

#include "platform/json.hpp"
#include "tests/pipes.hpp"
#include "tests/run_program.hpp"
#include "tests/support/paths.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace plenk::desktop {

// A rectangle in screen pixels, origin top left.
struct Box {
  double x = 0, y = 0, w = 0, h = 0;
  friend bool operator==(const Box&, const Box&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Box& b) {
  return os << "(" << b.x << "," << b.y << " " << b.w << "x" << b.h << ")";
}

// True when every edge of `a` is within `tolerance` pixels of the same edge of `b`.
inline bool near(const Box& a, const Box& b, double tolerance = 1.0) {
  auto close = [&](double p, double q) { return p - q <= tolerance && q - p <= tolerance; };
  return close(a.x, b.x) && close(a.y, b.y) && close(a.x + a.w, b.x + b.w) &&
         close(a.y + a.h, b.y + b.h);
}

// "" inside a desktop session; otherwise what is missing, for the test's failure message.
inline std::string sessionProblem() {
  if (!std::getenv("DISPLAY"))
    return "DISPLAY is not set: run the desktop tests inside tools/desktop-session";
  if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
    return "DBUS_SESSION_BUS_ADDRESS is not set: run the desktop tests inside "
           "tools/desktop-session";
  return "";
}

// Standard output of a shell command (stderr discarded).
inline std::string shell(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

// The compositor's own view in a Wayland session (tools/wayland-session): each window with its
// owner, its rectangle on the screen and whether it has the focus, from `swaymsg -t get_tree` in
// a sway session, from GNOME Shell's window list (plenk-hands' extension) in a GNOME one and
// from a KWin script of the tests' own in a KDE one.
struct CompositorWindow {
  unsigned long id = 0; // the compositor's own id of the window
  int pid = 0;
  std::string title, appId;
  // Where the client's own coordinates begin: on sway the container's rect moved by its
  // window_rect, on GNOME and KDE the client's buffer (its shadows included, KWin's frame not).
  Box rect;
  bool focused = false, x11 = false;
};

inline bool inSway() {
  return std::getenv("SWAYSOCK") != nullptr;
}

inline bool inGnome() {
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  return std::getenv("WAYLAND_DISPLAY") && desktop && std::string(desktop) == "GNOME";
}

inline bool inKde() {
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  return std::getenv("WAYLAND_DISPLAY") && desktop && std::string(desktop) == "KDE";
}

// A Wayland session whose compositor lists its windows to the tests.
inline bool inCompositor() {
  return inSway() || inGnome() || inKde();
}

// The text of a string that gdbus printed as a GVariant ('...' or "..."), unescaped.
inline std::string gvariantString(const std::string& printed) {
  auto open = printed.find_first_of("'\"");
  if (open == std::string::npos) return "";
  char quote = printed[open];
  std::string out;
  for (std::size_t i = open + 1; i < printed.size() && printed[i] != quote; ++i) {
    if (printed[i] != '\\' || i + 1 >= printed.size()) {
      out += printed[i];
      continue;
    }
    char c = printed[++i];
    out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return out;
}

// GNOME's extension and the tests' KWin script list windows alike; KWin names them by UUID, which
// the tests number in the order they first see them.
inline std::vector<CompositorWindow> listedWindows(const std::optional<Json>& list) {
  static std::map<std::string, unsigned long> uuids;
  std::vector<CompositorWindow> out;
  if (!list || !list->is_array()) return out;
  for (const auto& w : *list) {
    CompositorWindow v;
    if (w["id"].is_string())
      v.id = uuids.emplace(w["id"].get<std::string>(), uuids.size() + 1).first->second;
    else
      v.id = w.value("id", 0ul);
    v.pid = w.value("pid", 0);
    v.title = w.value("title", "");
    v.appId = w.value("wmClass", "");
    const Json& b = w["buffer"];
    v.rect = {b[0].get<double>(), b[1].get<double>(), b[2].get<double>(), b[3].get<double>()};
    v.focused = w.value("focused", false);
    v.x11 = w.value("x11", false);
    out.push_back(v);
  }
  return out;
}

inline std::vector<CompositorWindow> gnomeWindows() {
  return listedWindows(json::parse(gvariantString(
      shell("gdbus call --session --dest org.gnome.Shell --object-path /org/plenk/Hands/Windows "
            "--method org.plenk.Hands.Windows.List"))));
}

inline std::vector<CompositorWindow> kdeWindows() {
  return listedWindows(json::parse(
      shell("/usr/bin/python3 '" + testing::sourceDir() + "/tests/desktop/apps/kwin_windows.py'")));
}

inline std::vector<CompositorWindow> compositorWindows() {
  if (inGnome()) return gnomeWindows();
  if (inKde()) return kdeWindows();
  std::vector<CompositorWindow> out;
  auto tree = json::parse(shell("swaymsg -r -t get_tree"));
  if (!tree) return out;
  std::function<void(const Json&)> walk = [&](const Json& n) {
    if (!n.is_object()) return;
    if (n.contains("pid") && n.value("type", "") != "workspace") {
      const Json& r = n["rect"];
      const Json& w = n["window_rect"];
      CompositorWindow v;
      v.id = n.value("id", 0ul);
      v.pid = n.value("pid", 0);
      v.title = n["name"].is_string() ? n["name"].get<std::string>() : "";
      v.appId = n["app_id"].is_string() ? n["app_id"].get<std::string>() : "";
      v.rect = {r.value("x", 0.0) + w.value("x", 0.0), r.value("y", 0.0) + w.value("y", 0.0),
                w.value("width", 0.0), w.value("height", 0.0)};
      v.focused = n.value("focused", false);
      v.x11 = n.value("shell", "") == "xwayland";
      out.push_back(v);
    }
    for (const char* key : {"nodes", "floating_nodes"})
      if (n.contains(key))
        for (const auto& c : n[key])
          walk(c);
  };
  walk(*tree);
  return out;
}

inline std::optional<CompositorWindow> compositorWindow(const std::string& title) {
  for (auto& w : compositorWindows())
    if (w.title == title) return w;
  return std::nullopt;
}

// The window of this id in a Wayland session's compositor. The helpers below that take or give a
// window id speak of X11 windows in an X11 session and of the compositor's windows in a Wayland
// one, so that a test reads the same in both.
inline std::optional<CompositorWindow> compositorWindow(unsigned long id) {
  for (auto& w : compositorWindows())
    if (w.id == id) return w;
  return std::nullopt;
}

// The X11 geometry of a top-level X window (its client area) in screen pixels, from xwininfo.
inline std::optional<Box> x11WindowGeometry(unsigned long xid) {
  std::string info = shell("xwininfo -id " + std::to_string(xid));
  auto field = [&](const std::string& key) -> std::optional<double> {
    auto at = info.find(key);
    if (at == std::string::npos) return std::nullopt;
    return std::strtod(info.c_str() + at + key.size(), nullptr);
  };
  auto x = field("Absolute upper-left X:"), y = field("Absolute upper-left Y:");
  auto w = field("Width:"), h = field("Height:");
  if (!x || !y || !w || !h) return std::nullopt;
  return Box{*x, *y, *w, *h};
}

// The geometry of a top-level window in screen pixels: its X11 client area, or the compositor's
// rectangle of it.
inline std::optional<Box> windowGeometry(unsigned long id) {
  if (!inCompositor()) return x11WindowGeometry(id);
  auto w = compositorWindow(id);
  return w ? std::optional<Box>(w->rect) : std::nullopt;
}

// The window that the window manager says is active (_NET_ACTIVE_WINDOW), or none.
inline std::optional<unsigned long> activeWindow() {
  if (inCompositor()) {
    for (const auto& w : compositorWindows())
      if (w.focused) return w.id;
    return std::nullopt;
  }
  std::string out = shell("xprop -root _NET_ACTIVE_WINDOW");
  auto at = out.find("# 0x");
  if (at == std::string::npos) return std::nullopt;
  unsigned long id = std::strtoul(out.c_str() + at + 2, nullptr, 16);
  if (id == 0) return std::nullopt;
  return id;
}

// The top-level windows the window manager manages (_NET_CLIENT_LIST), in its order.
inline std::vector<unsigned long> clientWindows() {
  std::vector<unsigned long> ids;
  if (inCompositor()) {
    for (const auto& w : compositorWindows())
      ids.push_back(w.id);
    return ids;
  }
  std::string out = shell("xprop -root _NET_CLIENT_LIST");
  for (auto at = out.find("0x"); at != std::string::npos; at = out.find("0x", at + 2))
    ids.push_back(std::strtoul(out.c_str() + at, nullptr, 16));
  return ids;
}

// _NET_WM_PID of a window, or none.
inline std::optional<int> windowPid(unsigned long xid) {
  if (inCompositor()) {
    auto w = compositorWindow(xid);
    return w ? std::optional<int>(w->pid) : std::nullopt;
  }
  std::string out = shell("xprop -id " + std::to_string(xid) + " _NET_WM_PID");
  auto at = out.find("= ");
  if (at == std::string::npos) return std::nullopt;
  return std::atoi(out.c_str() + at + 2);
}

// The process whose window is active: _NET_ACTIVE_WINDOW's owner, or in a Wayland session the
// compositor's focused window's; 0 when none.
inline int activePid() {
  if (inCompositor()) {
    for (const auto& w : compositorWindows())
      if (w.focused) return w.pid;
    return 0;
  }
  auto id = activeWindow();
  return id ? windowPid(*id).value_or(0) : 0;
}

// The managed windows of a process, as the window manager (or the compositor) lists them.
inline int windowsOf(int pid) {
  int count = 0;
  if (inCompositor()) {
    for (const auto& w : compositorWindows())
      count += w.pid == pid;
    return count;
  }
  for (unsigned long id : clientWindows())
    count += windowPid(id) == pid;
  return count;
}

// The title of a window, as the window manager (or the compositor) shows it.
inline std::string windowTitle(unsigned long id) {
  if (inCompositor()) {
    auto w = compositorWindow(id);
    return w ? w->title : "";
  }
  std::string line = shell("xprop -id " + std::to_string(id) + " _NET_WM_NAME");
  auto open = line.find('"'), close = line.rfind('"');
  if (open == std::string::npos || close <= open) return "";
  // xprop escapes quotes and backslashes; the test page's titles hold neither.
  return line.substr(open + 1, close - open - 1);
}

// The title of the active window.
inline std::string activeWindowTitle() {
  auto id = activeWindow();
  return id ? windowTitle(*id) : "";
}

// The bytes of a file (what an application saved), or "" when it cannot be read.
inline std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether a process still runs: not gone, and not a zombie (a child that died and is not reaped).
inline bool running(int pid) {
  if (pid <= 0) return false;
  std::string stat = shell("cat /proc/" + std::to_string(pid) + "/stat");
  auto close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Polls `ready` every 50 ms until it is true or `timeoutMs` passed; whether it became true.
template <typename Ready> bool waitUntil(Ready ready, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// The first window of a process that the window manager manages, waiting up to `timeoutMs`.
inline std::optional<unsigned long> windowOfProcess(int pid, int timeoutMs) {
  std::optional<unsigned long> found;
  waitUntil(
      [&] {
        for (unsigned long id : clientWindows())
          if (windowPid(id) == pid) found = id;
        return found.has_value();
      },
      timeoutMs);
  return found;
}

// How a test starts a process: its command line (argv[0] a full path), variables that replace
// inherited ones, and files for its output instead of the pipe readLine reads (standard output)
// and /dev/null (standard error).
struct Spawn {
  std::vector<std::string> argv;
  std::vector<std::string> env = {};
  std::string outFile = {}, errFile = {};
};

// A process started by a test, killed (SIGKILL, also when stopped) when this object goes.
class Process {
public:
  explicit Process(const std::vector<std::string>& argv) : Process(Spawn{.argv = argv}) {}
  explicit Process(const Spawn& how) {
    int out[2] = {-1, -1};
    if (how.outFile.empty() && ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (how.outFile.empty())
      posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    else
      posix_spawn_file_actions_addopen(&actions, 1, how.outFile.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2,
                                     how.errFile.empty() ? "/dev/null" : how.errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> args;
    for (const auto& a : how.argv)
      args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> env = testing::environmentWith(how.env);
    std::vector<char*> envp;
    for (auto& e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
    if (out[1] >= 0) ::close(out[1]);
    out_ = out[0];
  }
  ~Process() {
    end();
    if (out_ >= 0) ::close(out_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  int pid() const { return pid_; }
  bool started() const { return pid_ > 0; }

  // The next line of standard output, or none at end of output or after `timeoutMs`.
  std::optional<std::string> readLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0 || out_ < 0) return std::nullopt;
      pollfd fd{out_, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[65536];
      ssize_t n = ::read(out_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Never with a pid of 0 or -1: those would signal the process group or every process.
  void suspend() {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
  }
  void resume() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
  }
  // The exit status (or 128 + the signal) once the process has ended, waiting up to
  // `timeoutMs`; none while it still runs.
  std::optional<int> wait(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (int status = 0; pid_ > 0;) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }
  // Kills the process now and reaps it.
  void end() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::kill(pid_, SIGCONT);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

private:
  int pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

enum class Toolkit { gtk3, gtk4 };

inline std::string appScript(Toolkit toolkit) {
  return testing::sourceDir() + "/tests/desktop/apps/" +
         (toolkit == Toolkit::gtk3 ? "gtk3_app.py" : "gtk4_app.py");
}

// A running test application (tests/desktop/apps) with its window shown.
class TestApp {
public:
  TestApp(std::unique_ptr<Process> process, Json info)
      : process_(std::move(process)), info_(std::move(info)) {}

  int pid() const { return process_->pid(); }
  unsigned long xid() const { return info_.value("xid", 0UL); }
  std::string title() const { return info_.value("title", ""); }
  const Json& info() const { return info_; }
  Process& process() { return *process_; }

  // The window's client area on screen: from X11 for an X11 window (also under XWayland), from
  // the compositor for a Wayland one.
  std::optional<Box> window() const {
    if (xid() == 0 && inCompositor()) {
      auto w = compositorWindow(title());
      return w ? std::optional<Box>(w->rect) : std::nullopt;
    }
    return x11WindowGeometry(xid());
  }

  // A named widget's rectangle on screen: the app's own layout (`set` "widgets", or "bounds" of
  // the GTK 4 app) moved by the window's X11 position. Names: menubar, heading, entry, password,
  // ok_button, disabled_button, check, link, textview, first_row (and menu_file, menu_edit,
  // menu_help in the GTK 3 app). Nothing when the name or the window is unknown.
  std::optional<Box> widget(const std::string& name, const std::string& set = "widgets") const {
    auto at = window();
    if (!at || !info_.contains(set) || !info_[set].contains(name)) return std::nullopt;
    const Json& r = info_[set][name];
    return Box{at->x + r[0].get<double>(), at->y + r[1].get<double>(), r[2].get<double>(),
               r[3].get<double>()};
  }

  // Waits until the window manager says this window is active.
  bool waitActive(int timeoutMs = 5000) const {
    if (inCompositor())
      return waitUntil(
          [&] {
            auto w = compositorWindow(title());
            return w && w->focused;
          },
          timeoutMs);
    return waitUntil([&] { return activeWindow() == xid(); }, timeoutMs);
  }

  void suspend() { process_->suspend(); }
  void resume() { process_->resume(); }
  void end() { process_->end(); }

private:
  std::unique_ptr<Process> process_;
  Json info_;
};

// The password the test apps put into their password entry: it must never be read out.
inline constexpr const char* APP_PASSWORD = "hunter2-secret";

// Starts a test app (`args`: --title T, --rows N, --class C) and waits until its window is shown
// and laid out; nothing when it did not come up within `timeoutMs`.
inline std::unique_ptr<TestApp> startApp(Toolkit toolkit, std::vector<std::string> args = {},
                                         int timeoutMs = 30000) {
  std::vector<std::string> argv{"/usr/bin/python3", appScript(toolkit)};
  argv.insert(argv.end(), args.begin(), args.end());
  auto process = std::make_unique<Process>(argv);
  if (!process->started()) return nullptr;
  auto line = process->readLine(timeoutMs);
  if (!line) return nullptr;
  auto info = json::parse(*line);
  if (!info || !info->is_object() || !info->value("ready", false)) return nullptr;
  return std::make_unique<TestApp>(std::move(process), std::move(*info));
}

// The temporary profile folder of one Chromium run, removed with it.
struct TempFolder {
  std::string path;
  TempFolder() {
    std::string pattern = "/tmp/plenk-desktop-XXXXXX";
    if (::mkdtemp(pattern.data())) path = pattern;
  }
  ~TempFolder() {
    if (!path.empty()) shell("rm -rf '" + path + "'");
  }
};

// Chromium (Debian's) on a page, with a private profile; `extraFlags` such as
// --force-renderer-accessibility are added to the fixed ones.
class Browser {
public:
  unsigned long xid = 0;
  int pid() const { return process_ ? process_->pid() : -1; }
  Process& process() { return *process_; }
  std::optional<Box> window() const { return windowGeometry(xid); }

  static std::unique_ptr<Browser> start(const std::string& url,
                                        const std::vector<std::string>& extraFlags = {},
                                        int timeoutMs = 60000) {
    auto browser = std::make_unique<Browser>();
    std::vector<std::string> argv{"/usr/bin/chromium",
                                  "--disable-gpu",
                                  "--no-first-run",
                                  "--no-default-browser-check",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--password-store=basic",
                                  "--user-data-dir=" + browser->profile_.path};
    if (::geteuid() == 0) argv.push_back("--no-sandbox");
    argv.insert(argv.end(), extraFlags.begin(), extraFlags.end());
    argv.push_back(url);
    browser->process_ = std::make_unique<Process>(argv);
    if (!browser->process_->started()) return nullptr;
    auto xid = windowOfProcess(browser->process_->pid(), timeoutMs);
    if (!xid) return nullptr;
    browser->xid = *xid;
    return browser;
  }

  // Firefox ESR (Debian's) on a page, with a private profile that opens nothing else (no welcome
  // page, no network).
  static std::unique_ptr<Browser> startFirefox(const std::string& url, int timeoutMs = 60000) {
    auto browser = std::make_unique<Browser>();
    std::ofstream(browser->profile_.path + "/user.js")
        << "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
           "user_pref(\"startup.homepage_welcome_url\", \"\");\n"
           "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
           "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
           "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
           "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
           "user_pref(\"app.update.auto\", false);\n";
    Spawn how{.argv = {"/usr/bin/firefox-esr", "--no-remote", "--new-instance", "--profile",
                       browser->profile_.path, url}};
    // Firefox refuses to run as root in a runtime folder of another user (the sway session's
    // compositor user): it gets one of its own, and the compositor's socket by its full path.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    struct stat st {};
    if (runtime && wayland && *wayland != '/' && ::stat(runtime, &st) == 0 &&
        st.st_uid != ::geteuid())
      how.env = {"XDG_RUNTIME_DIR=" + browser->runtime_.path,
                 "WAYLAND_DISPLAY=" + std::string(runtime) + "/" + wayland};
    browser->process_ = std::make_unique<Process>(how);
    if (!browser->process_->started()) return nullptr;
    auto xid = windowOfProcess(browser->process_->pid(), timeoutMs);
    if (!xid) return nullptr;
    browser->xid = *xid;
    return browser;
  }

  // The test page, file:// URL; `items` list entries (the page's long list).
  static std::string pageUrl(int items = 60) {
    return "file://" + testing::sourceDir() +
           "/tests/desktop/apps/page.html?items=" + std::to_string(items);
  }

private:
  TempFolder profile_, runtime_;
  std::unique_ptr<Process> process_;
};

// The real plenk-hands (build folder) on pipes, as a host talks to it: one request line in, its
// answer line out; or several requests before their answers.
class Hands {
public:
  // `argv` runs plenk-hands some other way (through /usr/bin/env with another environment).
  explicit Hands(std::vector<std::string> argv = {testing::binDir() + "/plenk-hands"})
      : child_(std::move(argv)) {}
  ~Hands() {
    // It ends as with a host (giving back what it borrowed, such as spare key codes).
    if (exit_ == NOT_ENDED && child_.started()) finish(10000);
    // Applications that plenk-hands opened outlive it: end them with the test.
    for (int pid : opened)
      if (pid > 1) kill(pid, SIGTERM);
  }
  Hands(const Hands&) = delete;
  Hands& operator=(const Hands&) = delete;

  bool started() const { return child_.started(); }
  // The id that the next `ask` gives its request.
  int nextId() const { return id_ + 1; }

  // Sends one request and waits up to `timeoutMs` for its answer; the answer object, or null on
  // timeout or an unreadable line. `lastMillis()` is how long it took.
  Json ask(const std::string& verb, const Json& args = Json::object(), int timeoutMs = 30000) {
    auto start = std::chrono::steady_clock::now();
    send({{"id", nextId()}, {"verb", verb}, {"args", args}}, timeoutMs);
    Json answer = next(timeoutMs);
    lastMillis_ =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return answer;
  }

  // The result of a successful answer, or null (the whole answer is in `lastAnswer()`).
  Json result(const std::string& verb, const Json& args = Json::object(), int timeoutMs = 30000) {
    last_ = ask(verb, args, timeoutMs);
    if (last_.is_object() && last_.value("ok", false)) return last_["result"];
    return nullptr;
  }

  // A whole request line, its id the caller's (later asks count on from it). False when
  // plenk-hands did not take it in time.
  bool send(const Json& request, int timeoutMs = 10000) {
    if (request.contains("id") && request["id"].is_number_integer())
      id_ = std::max(id_, request["id"].get<int>());
    return child_.pump(
        request.dump() + "\n", false, [] { return true; }, timeoutMs);
  }
  // The next answer line in the order they came; null when none came in time.
  Json next(int timeoutMs = 45000) {
    std::size_t from = consumed_;
    bool answered = child_.pump(
        "", false, [&] { return child_.out.find('\n', from) != std::string::npos; }, timeoutMs);
    if (!answered) return nullptr;
    std::size_t nl = child_.out.find('\n', from);
    consumed_ = nl + 1;
    auto answer = json::parse(std::string_view(child_.out).substr(from, nl - from));
    return answer ? *answer : Json(nullptr);
  }
  Json answerTo(const Json& request) {
    send(request);
    return next();
  }

  // Ends plenk-hands as a host does, by closing its input: its exit status, or -1 when it did not
  // end in time.
  int finish(int timeoutMs = 10000) {
    if (exit_ != NOT_ENDED) return exit_;
    bool closed = child_.pump(
        "", true, [&] { return child_.outputsClosed(); }, timeoutMs);
    exit_ = closed ? child_.wait(timeoutMs) : -1;
    return exit_;
  }
  // What plenk-hands wrote on its standard error so far.
  const std::string& err() const { return child_.err; }

  const Json& lastAnswer() const { return last_; }
  double lastMillis() const { return lastMillis_; }

  std::vector<int> opened; // applications it opened, ended with the test

private:
  static constexpr int NOT_ENDED = -2;
  testing::Child child_;
  int exit_ = NOT_ENDED;
  int id_ = 0;
  std::size_t consumed_ = 0;
  double lastMillis_ = 0;
  Json last_;
};

// The records of an elements answer with this role and label.
inline std::vector<Json> recordsOf(const Json& elements, const std::string& role,
                                   const std::string& label) {
  std::vector<Json> found;
  if (!elements.is_array()) return found;
  for (const auto& r : elements)
    if (r.value("role", "") == role && r.value("label", "") == label) found.push_back(r);
  return found;
}

inline Box boxOf(const Json& record) {
  return Box{record.value("x", 0.0), record.value("y", 0.0), record.value("w", 0.0),
             record.value("h", 0.0)};
}

} // namespace plenk::desktop
