// plenk-hands: builds the platform, in this one place, and runs the request loop over it.
#include "hands/channel.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/linux/atspi.hpp"
#include "platform/linux/compositor_workspace.hpp"
#include "platform/linux/kwin_input.hpp"
#include "platform/linux/mixed_input.hpp"
#include "platform/linux/mutter_input.hpp"
#include "platform/linux/portal_input.hpp"
#include "platform/linux/session.hpp"
#include "platform/linux/wayland_input.hpp"
#include "platform/linux/wording.hpp"
#include "platform/linux/workspace.hpp"
#include "platform/linux/x11_input.hpp"

#include <optional>
#include <unistd.h>

int main() {
  // A host that closes our output must not kill us with SIGPIPE; writes then just fail.
  plenk::guardStandardStreams();
  // The session decides the backends: the display it can connect to (platform/linux/session).
  // Screen reading is AT-SPI everywhere; input goes through the compositor's virtual devices in
  // a Wayland session, else through XTEST (without any display its events are refused, and the
  // input verbs answer "helper_failed"); in a GNOME session input goes through Mutter's remote
  // desktop service, in a KDE one through KWin's fake input, in another Wayland session without
  // virtual devices through the desktop portal's remote desktop; an X11 window that has the focus
  // in any of them gets its keys through XTEST. Running applications and the front
  // one come from sway in a sway session, from GNOME Shell (our extension) in a GNOME one, from
  // KWin (our scripts) in a KDE one, else from the window manager (desktop entries everywhere).
  static plenk::AtspiAccessibility accessibility;
  plenk::SessionKind session = plenk::currentSession();
  static plenk::X11Input x11Input;
  static std::optional<plenk::WaylandInput> waylandInput;
  static std::optional<plenk::MutterInput> mutterInput;
  static std::optional<plenk::KwinInput> kwinInput;
  if (session == plenk::SessionKind::gnome)
    mutterInput.emplace();
  else if (session == plenk::SessionKind::kde)
    kwinInput.emplace();
  else if (plenk::isWayland(session))
    waylandInput.emplace();
  // A compositor that offers nothing better: the desktop portal, asked when input is asked for.
  static std::optional<plenk::PortalInput> portalInput;
  if (waylandInput && !waylandInput->available()) {
    portalInput.emplace();
    if (!portalInput->offered()) portalInput.reset();
  }
  // KWin lets us in only once asked (its desktop entry): its input is ours even before.
  plenk::InputEvents* compositorInput =
      mutterInput && mutterInput->available()     ? static_cast<plenk::InputEvents*>(&*mutterInput)
      : kwinInput                                 ? static_cast<plenk::InputEvents*>(&*kwinInput)
      : waylandInput && waylandInput->available() ? static_cast<plenk::InputEvents*>(&*waylandInput)
      : portalInput                               ? static_cast<plenk::InputEvents*>(&*portalInput)
                                                  : nullptr;
  static plenk::LinuxWorkspace linuxWorkspace;
  static std::optional<plenk::CompositorWorkspace> compositorWorkspace;
  static const plenk::Compositor* compositor = plenk::sessionCompositor();
  if (compositor) compositorWorkspace.emplace(*compositor);
  // Where the compositor tells which window has the focus, an X11 one gets its keys by XTEST.
  static std::optional<plenk::MixedInput> mixedInput;
  if (compositorInput && compositor)
    mixedInput.emplace(*compositorInput, x11Input, [] {
      auto windows = compositor->windows();
      if (!windows) return false;
      for (const auto& w : *windows)
        if (w.focused) return w.x11 && x11Input.available();
      return false;
    });
  plenk::InputEvents& input = mixedInput        ? static_cast<plenk::InputEvents&>(*mixedInput)
                              : compositorInput ? *compositorInput
                                                : x11Input;
  plenk::Workspace& workspace =
      compositorWorkspace ? static_cast<plenk::Workspace&>(*compositorWorkspace) : linuxWorkspace;
  static plenk::hands::Hands hands{
      accessibility, input, workspace, plenk::steadyClock(), {}, {}, {}, plenk::linuxWording()};
  int status = plenk::hands::runHands(hands, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
  // Nothing held, no key code left bound.
  x11Input.finish();
  if (waylandInput) waylandInput->finish();
  if (mutterInput) mutterInput->finish();
  if (kwinInput) kwinInput->finish();
  if (portalInput) portalInput->finish();
  // Platform threads may still be running; no static destructor may race them.
  _exit(status);
}
