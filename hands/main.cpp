// plenk-hands: builds the platform, in this one place, and runs the request loop over it.
#include "hands/channel.hpp"
#include "platform/clock.hpp"
#include "platform/linux/atspi.hpp"
#include "platform/linux/workspace.hpp"
#include "platform/memory/desktop.hpp"

#include <csignal>
#include <unistd.h>

int main() {
  // A host that closes our output must not kill us with SIGPIPE; writes then just fail.
  std::signal(SIGPIPE, SIG_IGN);
  // Screen reading through the desktop's accessibility (AT-SPI); input still over an empty
  // in-memory desktop.
  static plenk::AtspiAccessibility accessibility;
  static plenk::MemoryDesktop desktop;
  // The process lives as long as the host: keeping every platform call would grow without end.
  desktop.keepCalls(false);
  // Applications: desktop entries and the window manager (the application folders follow from it).
  static plenk::LinuxWorkspace workspace;
  static plenk::hands::Hands hands{accessibility, desktop, workspace, plenk::steadyClock(), {}, {}};
  int status = plenk::hands::runHands(hands, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  // Platform threads may still be running; no static destructor may race them.
  _exit(status);
}
