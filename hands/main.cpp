// plenk-hands: builds the platform, in this one place, and runs the request loop over it.
#include "hands/channel.hpp"
#include "platform/clock.hpp"
#include "platform/linux/atspi.hpp"
#include "platform/linux/workspace.hpp"
#include "platform/linux/x11_input.hpp"
#include "platform/memory/desktop.hpp"

#include <csignal>
#include <unistd.h>

int main() {
  // A host that closes our output must not kill us with SIGPIPE; writes then just fail.
  std::signal(SIGPIPE, SIG_IGN);
  // Screen reading through the desktop's accessibility (AT-SPI).
  static plenk::AtspiAccessibility accessibility;
  // Input where no X display with XTEST opens: an empty in-memory desktop.
  static plenk::MemoryDesktop desktop;
  // The process lives as long as the host: keeping every platform call would grow without end.
  desktop.keepCalls(false);
  // Real input wherever an X display with XTEST opens.
  static plenk::X11Input x11;
  plenk::InputEvents& input = x11.available() ? static_cast<plenk::InputEvents&>(x11)
                                              : static_cast<plenk::InputEvents&>(desktop);
  // Applications: desktop entries and the window manager (the application folders follow from it).
  static plenk::LinuxWorkspace workspace;
  static plenk::hands::Hands hands{accessibility, input, workspace, plenk::steadyClock(), {}, {}};
  int status = plenk::hands::runHands(hands, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  // Nothing held, no key code left bound.
  x11.finish();
  // Platform threads may still be running; no static destructor may race them.
  _exit(status);
}
