#include "platform/linux/workspace_open.hpp"

#include "platform/fd.hpp"
#include "platform/linux/session.hpp"
#include "platform/linux/workspace_running.hpp"

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace plenk::launching {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto POLL = std::chrono::milliseconds(50);
// A launcher that hands over to a running instance ends at once with status 0; the window it
// asked for may follow a little later.
constexpr auto HANDOFF_WAIT = std::chrono::seconds(10);
// Chromium builds its accessibility tree only when told at launch.
constexpr const char* CHROMIUM_ACCESSIBILITY = "--force-renderer-accessibility";

std::atomic<unsigned> launches{0};

// A value of a startup-notification message: quoted, with its quotes and backslashes escaped.
std::string quoted(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string startupId() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  return "plenk-hands-" + std::to_string(getpid()) + "-" + std::to_string(++launches) + "-" +
         std::string(host);
}

// The entry as GIO reads it; for a Chromium browser, with its accessibility switch added to
// the command.
GDesktopAppInfo* appInfoFor(const desktop_entries::Entry& entry) {
  if (!entry.chromium) return g_desktop_app_info_new_from_filename(entry.file.c_str());
  GKeyFile* keys = g_key_file_new();
  GDesktopAppInfo* info = nullptr;
  if (g_key_file_load_from_file(keys, entry.file.c_str(), G_KEY_FILE_NONE, nullptr)) {
    if (gchar* exec = g_key_file_get_string(keys, "Desktop Entry", "Exec", nullptr)) {
      std::string command = exec;
      g_free(exec);
      auto space = command.find(' ');
      command.insert(space == command.npos ? command.size() : space,
                     std::string(" ") + CHROMIUM_ACCESSIBILITY);
      g_key_file_set_string(keys, "Desktop Entry", "Exec", command.c_str());
    }
    info = g_desktop_app_info_new_from_keyfile(keys);
  }
  g_key_file_unref(keys);
  return info;
}

// Why the entry's command cannot run, or "" when it looks runnable. GIO starts the command
// through a wrapper that ends with status 255 when it cannot execute it, saying nothing: a
// script whose interpreter is missing would otherwise read as an application that quit.
std::string commandProblem(GDesktopAppInfo* info) {
  const char* exe = g_app_info_get_executable(G_APP_INFO(info));
  if (!exe || !*exe) return "it has no command.";
  gchar* found = g_find_program_in_path(exe);
  if (!found) return std::string("its command ") + exe + " is not found.";
  std::string path = found;
  g_free(found);
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  if (!line.starts_with("#!")) return {};
  std::string interpreter = line.substr(2);
  interpreter.erase(0, interpreter.find_first_not_of(" \t"));
  interpreter = interpreter.substr(0, interpreter.find_first_of(" \t\r"));
  if (!interpreter.empty() && access(interpreter.c_str(), X_OK) != 0)
    return "its command " + path + " cannot run: its interpreter " + interpreter + " is missing.";
  return {};
}

void rememberPid(GDesktopAppInfo*, GPid pid, gpointer data) {
  *static_cast<GPid*>(data) = pid;
}

std::string exitDescription(int status) {
  if (WIFSIGNALED(status))
    return "it ended before showing a window (signal " + std::to_string(WTERMSIG(status)) + ").";
  return "it ended before showing a window (exit status " + std::to_string(WEXITSTATUS(status)) +
         ").";
}

// The thread that waits for the launched application's window.
void watch(desktop_entries::Catalogue catalogue, std::string entryId, int pid,
           std::set<ewmh::Window> before, std::string startup, OpenHandler handler) {
  ewmh::Display display;
  bool exited = false;
  int status = 0;
  auto reap = [&](bool block) {
    if (pid <= 0 || exited) return;
    if (waitpid(pid, &status, block ? 0 : WNOHANG) == pid) exited = true;
  };
  auto fail = [&](std::string why) {
    if (!startup.empty()) display.startupMessage("remove: ID=" + quoted(startup));
    handler(std::nullopt, std::move(why));
  };
  if (!display.ok() && !compositorListsWindows(currentSession())) {
    fail("the desktop's windows cannot be seen.");
    return reap(true);
  }
  auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(WINDOW_WAIT_SECONDS));
  std::optional<Clock::time_point> endedAt;
  for (;;) {
    reap(false);
    if (exited && !endedAt) {
      endedAt = Clock::now();
      bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      if (!clean) return fail(exitDescription(status));
    }
    auto windows = running::sessionSnapshot(display, catalogue);
    for (const auto& w : windows) {
      if (w.window.pid <= 0 || before.count(w.window.id)) continue;
      bool ours = pid > 0 && desktop_entries::descendsFrom(w.window.pid, pid);
      bool same = w.entry && w.entry->id == entryId;
      if (!ours && !same) continue;
      handler(running::application(windows, w.window.pid), std::nullopt);
      return reap(true);
    }
    if (endedAt && Clock::now() - *endedAt > HANDOFF_WAIT) return fail(exitDescription(status));
    if (Clock::now() > deadline) {
      fail("no window appeared within 30 seconds.");
      return reap(true);
    }
    std::this_thread::sleep_for(POLL);
  }
}

} // namespace

void answerLater(OpenHandler handler, std::optional<RunningApp> app,
                 std::optional<std::string> error) {
  std::thread([handler = std::move(handler), app = std::move(app),
               error = std::move(error)]() mutable {
    handler(std::move(app), std::move(error));
  }).detach();
}

void launch(const desktop_entries::Catalogue& catalogue, const desktop_entries::Entry& entry,
            std::set<ewmh::Window> before, OpenHandler handler) {
  GDesktopAppInfo* info = appInfoFor(entry);
  if (!info)
    return answerLater(std::move(handler), std::nullopt, "its desktop entry cannot be read.");
  if (auto problem = commandProblem(info); !problem.empty()) {
    g_object_unref(info);
    return answerLater(std::move(handler), std::nullopt, problem);
  }
  GAppLaunchContext* context = g_app_launch_context_new();
  // Startup notification: the application takes the id from its environment, names its first
  // window with it and ends the sequence when that window maps; the window manager then lets it
  // take the focus.
  std::string startup;
  if (g_desktop_app_info_get_boolean(info, "StartupNotify")) {
    startup = startupId();
    g_app_launch_context_setenv(context, "DESKTOP_STARTUP_ID", startup.c_str());
    ewmh::Display display;
    display.startupMessage("new: ID=" + quoted(startup) + " NAME=" + quoted(entry.name) +
                           " SCREEN=0 APPLICATION_ID=" + quoted(entry.file));
  }
  // The application must never read the host's requests or write into its answers.
  FileDescriptor devNull(open("/dev/null", O_RDWR | O_CLOEXEC));
  GPid pid = 0;
  GError* error = nullptr;
  gboolean launched = g_desktop_app_info_launch_uris_as_manager_with_fds(
      info, nullptr, context,
      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD), nullptr, nullptr,
      rememberPid, &pid, devNull.get(), devNull.get(), devNull.get(), &error);
  devNull.close();
  g_object_unref(context);
  g_object_unref(info);
  if (!launched) {
    std::string why = error && error->message ? error->message : "it could not be started.";
    g_clear_error(&error);
    if (!startup.empty()) {
      ewmh::Display display;
      display.startupMessage("remove: ID=" + quoted(startup));
    }
    return answerLater(std::move(handler), std::nullopt, why);
  }
  std::thread(watch, catalogue, entry.id, static_cast<int>(pid), std::move(before),
              std::move(startup), std::move(handler))
      .detach();
}

void openEntry(const std::string& bundlePath, const OpenConfiguration& config,
               const WindowsNow& windowsNow, const std::function<void(int pid)>& activate,
               OpenHandler handler) {
  auto catalogue = desktop_entries::loadCatalogue();
  const desktop_entries::Entry* entry = catalogue.byLocation(bundlePath);
  if (!entry) {
    answerLater(std::move(handler), std::nullopt, "its desktop entry is gone.");
    return;
  }
  auto windows = windowsNow(catalogue);
  if (!windows) {
    answerLater(std::move(handler), std::nullopt, "the desktop's windows cannot be seen.");
    return;
  }
  // Already running (a process with a taskbar window first): brought to the front and answered
  // at once.
  std::optional<int> runningPid;
  for (const auto& w : *windows)
    if (w.entry && w.entry->id == entry->id && w.window.pid > 0 &&
        (!runningPid || w.window.taskbar))
      runningPid = w.window.pid;
  if (runningPid) {
    if (config.activates) activate(*runningPid);
    answerLater(std::move(handler), running::application(*windows, *runningPid), std::nullopt);
    return;
  }
  std::set<ewmh::Window> before;
  for (const auto& w : *windows)
    before.insert(w.window.id);
  launch(catalogue, *entry, std::move(before), std::move(handler));
}

} // namespace plenk::launching
