// A pick in the desktop session: a temporary Pictures/Videos library, the real plenk-media pick
// started on it, and its picker window driven through the real plenk-hands: `elements` finds the
// tiles and buttons, `click`, `key` and `type` act on them.
#pragma once

#include "platform/json.hpp"
#include "tests/desktop/desktop.hpp"
#include "tests/run_program.hpp"
#include "tests/support/paths.hpp"
#include "tests/support/pick_library.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace plenk::testing {

// Fails the test with a clear message outside a desktop session.
inline bool pickDesktopReady() {
  const char* display = std::getenv("DISPLAY");
  const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (display && *display && bus && *bus) return true;
  ADD_FAILURE() << "no desktop session: run inside tools/desktop-session (DISPLAY and "
                   "DBUS_SESSION_BUS_ADDRESS are needed)";
  return false;
}

// The user's folders of one test: Pictures and Videos named in user-dirs.dirs, an empty
// thumbnail cache, its own list of recent files, and the --out folder.
struct PickLibrary {
  TempDir root;
  std::string pictures = root / "Pictures";
  std::string videos = root / "Videos";
  std::string out = root / "out";
  PickLibrary() {
    namespace fs = std::filesystem;
    fs::create_directories(pictures);
    fs::create_directories(videos);
    fs::create_directories(out);
    fs::create_directories(root / "config");
    writeFile(root / "config/user-dirs.dirs",
              "XDG_PICTURES_DIR=\"" + pictures + "\"\nXDG_VIDEOS_DIR=\"" + videos + "\"\n");
  }
  std::vector<std::string> env() const {
    return {"XDG_CONFIG_HOME=" + (root / "config"), "XDG_CACHE_HOME=" + (root / "cache"),
            "XDG_DATA_HOME=" + (root / "data")};
  }
};

// One running plenk-media; its output goes to files, read when it has ended.
class Running {
public:
  // `wrapper`: a program (full path) and its arguments that run plenk-media, such as setpriv.
  // `more`: variables (NAME=value) that replace the inherited ones, such as another DISPLAY.
  Running(const PickLibrary& library, const std::vector<std::string>& args,
          const std::vector<std::string>& wrapper = {}, const std::vector<std::string>& more = {})
      : outPath(library.root / "stdout"), errPath(library.root / "stderr"),
        process(spawnOf(library, args, wrapper, more)) {}

  // Waits for the end, at most `seconds`; the process is killed when it overstays.
  Finished finish(int seconds = 30) {
    Finished done;
    auto status = process.wait(seconds * 1000);
    if (!status) {
      process.end();
      ADD_FAILURE() << "plenk-media pick did not end within " << seconds << "s";
    }
    done.status = status.value_or(128 + SIGKILL);
    done.out = readFile(outPath);
    done.err = readFile(errPath);
    return done;
  }

  // The process that shows the picker: plenk-media's child, which it watches (plenk-media
  // itself when no child comes within a few seconds).
  pid_t picker() const {
    const pid_t pid = process.pid();
    const std::string children =
        "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    pid_t child = 0;
    desktop::waitUntil([&] { return (std::ifstream(children) >> child) && child > 0; }, 5000);
    return child > 0 ? child : pid;
  }

private:
  desktop::Spawn spawnOf(const PickLibrary& library, const std::vector<std::string>& args,
                         const std::vector<std::string>& wrapper,
                         const std::vector<std::string>& more) const {
    desktop::Spawn how{
        .argv = wrapper, .env = library.env(), .outFile = outPath, .errFile = errPath};
    how.argv.push_back(binDir() + "/plenk-media");
    how.argv.insert(how.argv.end(), args.begin(), args.end());
    how.env.insert(how.env.end(), more.begin(), more.end());
    return how;
  }

  std::string outPath, errPath;
  desktop::Process process;
};

// What plenk-hands sees of the front window: one elements answer.
struct Seen {
  int pid = 0;        // the front application
  std::string window; // the title of its front window
  std::vector<Json> elements;

  // The first record of this role and label, or none.
  const Json* find(const std::string& role, const std::string& label) const {
    for (const auto& r : elements)
      if (r.value("role", "") == role && r.value("label", "") == label) return &r;
    return nullptr;
  }
  // A tile: a toggle (read as a check box) labelled with its file name.
  const Json* tile(const std::string& name) const { return find("checkbox", name); }
  const Json* button(const std::string& label) const { return find("button", label); }
  bool chosen(const std::string& name) const {
    const Json* t = tile(name);
    return t && t->value("value", "") == "1";
  }
  bool enabled(const std::string& name) const {
    const Json* t = tile(name);
    return t && t->value("enabled", false);
  }
  // The file names of the tiles shown, sorted.
  std::vector<std::string> tiles() const {
    std::vector<std::string> names;
    for (const auto& r : elements)
      if (r.value("role", "") == "checkbox") names.push_back(r.value("label", ""));
    std::sort(names.begin(), names.end());
    return names;
  }
  // The texts shown over a tile (those whose middle lies on it): its badge and caption.
  std::vector<std::string> over(const std::string& name) const {
    std::vector<std::string> texts;
    const Json* t = tile(name);
    if (!t) return texts;
    desktop::Box box = desktop::boxOf(*t);
    for (const auto& r : elements) {
      if (r.value("role", "") != "statictext") continue;
      desktop::Box b = desktop::boxOf(r);
      double x = b.x + b.w / 2, y = b.y + b.h / 2;
      if (x >= box.x && x < box.x + box.w && y >= box.y && y < box.y + box.h)
        texts.push_back(r.value("label", ""));
    }
    return texts;
  }
  // The badge of a tile: the number (or mark) over it, "" when it has none.
  std::string badge(const std::string& name) const {
    for (const auto& text : over(name))
      if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text == "✓"))
        return text;
    return "";
  }
  // The first static text that starts with `prefix`, or "".
  std::string text(const std::string& prefix) const {
    for (const auto& r : elements)
      if (r.value("role", "") == "statictext" && r.value("label", "").starts_with(prefix))
        return r.value("label", "");
    return "";
  }
  std::string describe() const {
    std::string all = "window \"" + window + "\":";
    for (const auto& r : elements)
      all += " " + r.value("role", "") + "[" + r.value("label", "") + "]" +
             (r.contains("value") ? "=" + r.value("value", "") : "");
    return all;
  }
};

// The picker of one plenk-media process, as a user of plenk-hands drives it.
class PickHands {
public:
  explicit PickHands(int pid) : pid_(pid) {
    EXPECT_TRUE(hands_.started()) << "plenk-hands did not start";
  }

  // One look at the front window (empty when plenk-hands did not answer).
  Seen look() {
    Seen seen;
    Json r = hands_.result("elements");
    if (!r.is_object()) return seen;
    seen.pid = r["app"].value("pid", 0);
    seen.window = r.value("window", "");
    for (const auto& e : r["elements"])
      seen.elements.push_back(e);
    return seen;
  }

  // Looks until this plenk-media is in front and `ready` holds of what it shows; a test failure
  // naming `what` when it did not come within `timeoutMs`. The last look either way.
  Seen until(const std::string& what, const std::function<bool(const Seen&)>& ready,
             int timeoutMs = 20000) {
    Seen seen;
    if (!desktop::waitUntil([&] { return (seen = look()).pid == pid_ && ready(seen); },
                            timeoutMs)) {
      ADD_FAILURE() << what << " did not show within " << timeoutMs
                    << " ms; last seen: " << seen.describe();
    }
    return seen;
  }

  // Waits until tiles of these names show.
  Seen waitTiles(const std::vector<std::string>& names) {
    std::string all;
    for (const auto& n : names)
      all += " " + n;
    return until("tiles" + all, [&](const Seen& s) {
      return std::all_of(names.begin(), names.end(), [&](auto& n) { return s.tile(n); });
    });
  }

  // Clicks the middle of a record.
  void click(const Json& record) {
    desktop::Box b = desktop::boxOf(record);
    act("click", {{"x", b.x + b.w / 2}, {"y", b.y + b.h / 2}});
  }

  // Clicks a tile once it shows, whatever its state.
  Seen clickTile(const std::string& name) {
    Seen seen = until("the tile " + name, [&](const Seen& s) { return s.tile(name); });
    if (const Json* t = seen.tile(name)) click(*t);
    return seen;
  }

  // Chooses a tile (or takes it back) and waits until it reads so.
  Seen choose(const std::string& name, bool on = true) {
    clickTile(name);
    return until(name + (on ? " chosen" : " not chosen"),
                 [&](const Seen& s) { return s.chosen(name) == on; });
  }

  // Clicks a button once it shows and can be pressed.
  void press(const std::string& label) {
    Seen seen = until("the button " + label, [&](const Seen& s) {
      const Json* b = s.button(label);
      return b && b->value("enabled", false);
    });
    if (const Json* b = seen.button(label)) click(*b);
  }

  void key(const std::string& chord) { act("key", {{"key", chord}}); }
  void type(const std::string& text) { act("type", {{"text", text}}); }

private:
  void act(const std::string& verb, const Json& args) {
    Json r = hands_.result(verb, args);
    EXPECT_TRUE(r.is_object()) << "plenk-hands " << verb << " " << args.dump() << " answered "
                               << hands_.lastAnswer().dump();
  }

  int pid_;
  desktop::Hands hands_;
};

// The titles of a process's windows that the window manager shows, from the X server:
// plenk-hands tells only the front one.
inline std::set<std::string> windowTitles(int pid) {
  std::set<std::string> titles;
  for (unsigned long id : desktop::clientWindows()) {
    if (desktop::windowPid(id) != pid) continue;
    std::string out = desktop::shell("xprop -id " + std::to_string(id) + " _NET_WM_NAME");
    auto open = out.find('"'), close = out.rfind('"');
    if (open != std::string::npos && close > open)
      titles.insert(out.substr(open + 1, close - open - 1));
  }
  return titles;
}

// Asks the window manager to close a window, as its close button does. plenk-hands has no verb
// for that, and the session's window manager has no key for it.
inline void closeWindow(const std::string& title) {
  EXPECT_EQ(std::system(("wmctrl -c '" + title + "'").c_str()), 0) << "wmctrl -c " << title;
}

// The one line of a finished run, parsed; a failure when there is not exactly one.
inline Json onlyLine(const Finished& done) {
  EXPECT_EQ(std::count(done.out.begin(), done.out.end(), '\n'), 1) << done.out << done.err;
  auto line = json::parse(done.out);
  EXPECT_TRUE(line) << done.out;
  return line ? *line : Json::object();
}

} // namespace plenk::testing
