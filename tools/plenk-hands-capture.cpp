// plenk-hands-capture [--out FILE] [--app NAME|--front] [--redact]: the real desktop, read
// through the same platform services as plenk-hands, written as one scene file that
// plenk-hands-sim replays (docs/scene.md, Capture). Without --out the scene goes to standard
// output; an existing FILE is never replaced. Exit status 0 written, 2 usage, 3 nothing to
// capture (no accessibility, no such application), 6 the file could not be written.
#include "hands/ax/capture.hpp"
#include "hands/error.hpp"
#include "platform/clock.hpp"
#include "platform/fd.hpp"
#include "platform/linux/atspi.hpp"
#include "platform/linux/compositor_workspace.hpp"
#include "platform/linux/session.hpp"
#include "platform/linux/wording.hpp"
#include "platform/linux/workspace.hpp"
#include "platform/linux/x11_input.hpp"
#include "platform/memory/scene_writer.hpp"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr int EXIT_USAGE = 2;
constexpr int EXIT_NOTHING = 3;
constexpr int EXIT_OUTPUT = 6;

int say(int status, const std::string& message) {
  plenk::writeAll(STDERR_FILENO, "plenk-hands-capture: " + message + "\n");
  return status;
}

} // namespace

int main(int argc, char** argv) {
  const std::string usage =
      "usage: plenk-hands-capture [--out FILE] [--app NAME|--front] [--redact]";
  plenk::hands::CaptureOptions options;
  std::optional<std::string> out;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    bool chosen = options.apps != plenk::hands::CaptureOptions::Apps::all;
    if (arg == "--out" && i + 1 < argc && !out) {
      out = argv[++i];
    } else if (arg == "--app" && i + 1 < argc && !chosen) {
      options.apps = plenk::hands::CaptureOptions::Apps::named;
      options.name = argv[++i];
    } else if (arg == "--front" && !chosen) {
      options.apps = plenk::hands::CaptureOptions::Apps::front;
    } else if (arg == "--redact") {
      options.redact = true;
    } else {
      return say(EXIT_USAGE, usage);
    }
  }
  // Created before anything is read: an existing file is refused at once, never replaced.
  int fd = STDOUT_FILENO;
  if (out) {
    fd = ::open(out->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return say(EXIT_OUTPUT, "cannot create " + *out + " (it must not exist yet)");
  }
  auto fail = [&](int status, const std::string& message) {
    if (out) ::unlink(out->c_str());
    return say(status, message);
  };

  // The backends plenk-hands chooses (hands/main.cpp); input is never posted.
  static plenk::AtspiAccessibility accessibility;
  static plenk::X11Input input;
  static plenk::LinuxWorkspace linuxWorkspace;
  static std::optional<plenk::CompositorWorkspace> compositorWorkspace;
  if (const plenk::Compositor* compositor = plenk::sessionCompositor())
    compositorWorkspace.emplace(*compositor);
  plenk::Workspace& workspace =
      compositorWorkspace ? static_cast<plenk::Workspace&>(*compositorWorkspace) : linuxWorkspace;
  static plenk::hands::Hands hands{
      accessibility, input, workspace, plenk::steadyClock(), {}, {}, {}, plenk::linuxWording()};

  auto start = std::chrono::steady_clock::now();
  plenk::hands::Capture capture;
  try {
    capture = plenk::hands::captureDesktop(hands, options);
  } catch (const plenk::hands::HandsError& e) {
    return fail(EXIT_NOTHING, hands.wording.say(e.message));
  }
  std::string text = plenk::sceneText(plenk::sceneJson(capture.snapshot));
  if (!plenk::writeAll(fd, text) || (out && ::close(fd) != 0))
    return fail(EXIT_OUTPUT, "cannot write the scene");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const auto& cut : capture.cuts)
    say(0, "cut short: " + cut);
  char summary[160];
  std::snprintf(summary, sizeof summary, "%zu applications, %zu bytes, %.2f s",
                capture.snapshot.apps.size(), text.size(), seconds);
  say(0, summary);
  input.finish();
  _exit(0);
}
