// plenk-hands: builds the platform, in this one place, and runs the request loop over it.
#include "hands/channel.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/memory/desktop.hpp"

#include <unistd.h>

int main() {
  // A host that closes our output must not kill us with SIGPIPE; writes then just fail.
  plenk::guardStandardStreams();
  // No real desktop backend yet: an empty desktop, not trusted, without screen permission.
  static plenk::MemoryDesktop desktop;
  // The process lives as long as the host: keeping every platform call would grow without end.
  desktop.keepCalls(false);
  static plenk::hands::Hands hands{desktop, desktop, desktop, plenk::steadyClock(), {}, {}};
  int status = plenk::hands::runHands(hands, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  // Platform threads may still be running; no static destructor may race them.
  _exit(status);
}
