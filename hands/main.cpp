// plenk-hands: builds the platform, in this one place, and runs the request loop over it.
#include "hands/channel.hpp"
#include "platform/clock.hpp"
#include "platform/linux/x11_input.hpp"
#include "platform/memory/desktop.hpp"

#include <csignal>
#include <unistd.h>

int main() {
  // A host that closes our output must not kill us with SIGPIPE; writes then just fail.
  std::signal(SIGPIPE, SIG_IGN);
  // No real desktop backend yet: an empty desktop, not trusted, without screen permission.
  static plenk::MemoryDesktop desktop;
  // The process lives as long as the host: keeping every platform call would grow without end.
  desktop.keepCalls(false);
  // Real input wherever an X display with XTEST opens.
  static plenk::X11Input x11;
  bool realInput = x11.available();
  plenk::InputEvents& input = realInput ? static_cast<plenk::InputEvents&>(x11) : desktop;
  // Until the desktop is read for real, a desktop with real input counts as trusted and has no
  // focused element, so the input verbs go through.
  if (realInput) desktop.trusted = true;
  static plenk::hands::Hands hands{desktop, input, desktop, plenk::steadyClock(), {}, {}};
  int status = plenk::hands::runHands(hands, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  // Nothing held, no key code left bound.
  x11.finish();
  // Platform threads may still be running; no static destructor may race them.
  _exit(status);
}
