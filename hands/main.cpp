// plenk-hands: builds the platform, in this one place, and runs the request loop over it.
#include "hands/channel.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/linux/atspi.hpp"
#include "platform/linux/wording.hpp"
#include "platform/linux/workspace.hpp"
#include "platform/linux/x11_input.hpp"

#include <unistd.h>

int main() {
  // A host that closes our output must not kill us with SIGPIPE; writes then just fail.
  plenk::guardStandardStreams();
  // Screen reading through the desktop's accessibility (AT-SPI); input through XTEST (without an
  // X display its events are refused, and the input verbs answer "helper_failed").
  static plenk::AtspiAccessibility accessibility;
  static plenk::X11Input input;
  // Applications: desktop entries and the window manager (the application folders follow from it).
  static plenk::LinuxWorkspace workspace;
  static plenk::hands::Hands hands{
      accessibility, input, workspace, plenk::steadyClock(), {}, {}, {}, plenk::linuxWording()};
  int status = plenk::hands::runHands(hands, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  // Nothing held, no key code left bound.
  input.finish();
  // Platform threads may still be running; no static destructor may race them.
  _exit(status);
}
