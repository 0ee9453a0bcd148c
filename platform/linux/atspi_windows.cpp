// The windows that the accessibility backend maps rectangles and hit-tests through, per session.
#include "platform/linux/atspi_windows.hpp"

#include "platform/linux/compositor_workspace.hpp"
#include "platform/linux/ewmh.hpp"
#include "platform/linux/sway_ipc.hpp"

namespace plenk::atspi {

namespace {

std::optional<XDesktop> compositorDesktop(const std::optional<std::vector<sway::Window>>& windows) {
  if (!windows) return std::nullopt;
  XDesktop desktop;
  // Tiled windows lie below floating ones; floating ones come bottom to top (all of GNOME's).
  std::vector<XWindow> tiled, floating;
  for (const auto& w : *windows) {
    XWindow x;
    x.id = static_cast<unsigned long>(w.id);
    x.pid = w.pid;
    x.title = w.title;
    x.x = w.frame.x;
    x.y = w.frame.y;
    x.width = w.frame.width;
    x.height = w.frame.height;
    x.hidden = !w.visible;
    // XWayland clients answer in X screen coordinates, which are the compositor's.
    x.relative = !w.x11;
    x.bufferDx = w.bufferDx;
    x.bufferDy = w.bufferDy;
    if (w.focused) desktop.active = x.id;
    (w.floating ? floating : tiled).push_back(std::move(x));
  }
  desktop.stacking = std::move(tiled);
  for (auto& w : floating)
    desktop.stacking.push_back(std::move(w));
  return desktop;
}

} // namespace

std::optional<XDesktop> readXDesktop() {
  ewmh::Display x;
  if (!x.ok()) return std::nullopt;
  XDesktop desktop;
  desktop.active = x.activeWindow();
  for (auto& p : x.placements(x.clients(true))) {
    XWindow w;
    w.id = p.id;
    w.pid = p.pid;
    w.title = std::move(p.title);
    w.hidden = p.hidden;
    w.x = p.x;
    w.y = p.y;
    w.width = p.width;
    w.height = p.height;
    desktop.stacking.push_back(std::move(w));
  }
  return desktop;
}

std::optional<XDesktop> readDesktop() {
  if (const Compositor* compositor = sessionCompositor())
    return compositorDesktop(compositor->windows());
  return readXDesktop();
}

Origin windowOrigin(const XWindow& window, int atspiWidth, int atspiHeight) {
  bool frameSized = atspiWidth == window.width && atspiHeight == window.height;
  if (frameSized || (window.bufferDx == 0 && window.bufferDy == 0)) return {window.x, window.y};
  return {window.x - window.bufferDx, window.y - window.bufferDy};
}

} // namespace plenk::atspi
