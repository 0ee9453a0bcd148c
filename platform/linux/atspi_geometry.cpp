// Rectangles: read in batches, waited for where a toolkit gives them late, and placed on the screen
// through the window they lie in.
#include "platform/linux/atspi_impl.hpp"
#include "platform/linux/session.hpp"

#include <algorithm>
#include <atspi/atspi-constants.h>
#include <climits>

namespace plenk {

const XDesktop* AtspiAccessibility::Impl::desktop() {
  if (xdesktopGen != gen) {
    xdesktop = atspi::readDesktop();
    origins.clear();
    xdesktopGen = gen;
  }
  return xdesktop ? &*xdesktop : nullptr;
}

// The X window of a top-level accessible: the application's window with its title, else its
// only window.
const XWindow* AtspiAccessibility::Impl::xWindowOf(Node& window) {
  const XDesktop* d = desktop();
  int owner = transport.pidOfBus(window.bus);
  if (!d || owner <= 0) return nullptr;
  basics(&window);
  const XWindow* only = nullptr;
  int count = 0;
  for (const auto& w : d->stacking) {
    if (w.pid != owner) continue;
    if (!window.name.empty() && w.title == window.name) return &w;
    only = &w;
    ++count;
  }
  return count == 1 ? only : nullptr;
}

void AtspiAccessibility::Impl::applyExtents(Node* n, GVariant* r) {
  gint32 x = 0, y = 0, w = 0, h = 0;
  g_variant_get(r, "((iiii))", &x, &y, &w, &h);
  // What AT-SPI answers for an element without a rectangle.
  if (x == -1 && y == -1 && w == -1 && h == -1) {
    n->extentsStatus = AxStatus::noValue;
    return;
  }
  n->extents = Rect{{double(x), double(y)}, {double(w), double(h)}};
}

// GTK 4 gives extents relative to its window even when asked for the screen's, and so does
// every toolkit in a Wayland client's window, and Java in an XWayland one.
void AtspiAccessibility::Impl::toScreen(Node* n) {
  if (n->extentsStatus != AxStatus::ok) return;
  const ToolkitQuirks quirks = toolkitOf(n->bus);
  bool windowExtents =
      quirks.windowExtents || (quirks.windowExtentsOnXWayland && isWayland(currentSession()));
  if (!windowExtents && !isWayland(currentSession())) return;
  NodePtr window = n->window.lock();
  if (!window) return;
  // The window's own extents tell where its children's origin is (frame or buffer).
  if (window.get() != n && !window->extentsKnown) extents(window.get());
  const XWindow* xw = xWindowOf(*window);
  if (!xw || (!windowExtents && !xw->relative)) return;
  auto& origin = origins[xw->id];
  if (window.get() == n) {
    origin = xw->relative
                 ? atspi::windowOrigin(*xw, int(n->extents.size.width), int(n->extents.size.height))
                 : atspi::Origin{xw->x, xw->y};
    n->extents = Rect{{double(xw->x), double(xw->y)}, {double(xw->width), double(xw->height)}};
    return;
  }
  if (!origin) origin = atspi::Origin{xw->x, xw->y};
  n->extents.origin.x += origin->x;
  n->extents.origin.y += origin->y;
}

// Extents of the nodes, read together with those of every node waiting for them.
void AtspiAccessibility::Impl::extents(const std::vector<Node*>& wanted) {
  std::vector<NodePtr> batch;
  for (Node* n : wanted) {
    n->renew(gen);
    if (n->extentsKnown) continue;
    if (n->kind == Node::Kind::textLeaf) {
      NodePtr parent = n->parent.lock();
      if (parent) extents(parent.get());
      n->extentsKnown = true;
      n->extentsStatus = parent ? parent->extentsStatus : AxStatus::invalidElement;
      if (parent) n->extents = parent->extents;
      continue;
    }
    n->extentsKnown = true;
    batch.push_back(n->shared_from_this());
  }
  if (batch.empty()) return;
  for (auto& p : takePending(pendingExtents, [](const Node& q) { return q.extentsKnown; })) {
    if (p->extentsKnown) continue; // waiting twice
    p->extentsKnown = true;
    batch.push_back(std::move(p));
  }
  readExtents(batch);
  settleBounds(batch);
  // Windows first: their extents place their children.
  for (auto& p : batch)
    if (p->window.lock() == p) toScreen(p.get());
  for (auto& p : batch)
    if (p->window.lock() != p) toScreen(p.get());
}

void AtspiAccessibility::Impl::readExtents(const std::vector<NodePtr>& batch) {
  std::vector<Call> calls;
  for (auto& p : batch) {
    Node* raw = p.get();
    // GTK 4 answers in window coordinates whatever is asked (and complains about the screen's).
    guint32 coords =
        toolkitOf(raw->bus).windowExtents ? ATSPI_COORD_TYPE_WINDOW : ATSPI_COORD_TYPE_SCREEN;
    calls.push_back({raw->bus, raw->path, I_COMPONENT, "GetExtents", g_variant_new("(u)", coords),
                     [this, raw](GVariant* r, AxStatus s) {
                       raw->extentsStatus = s;
                       if (r) applyExtents(raw, r);
                     }});
  }
  transport.run(calls);
}

// Gecko answers (-1, -1, -1, -1) until its cache of a page's layout has come over from the
// page's process, a moment after the first client asks: the first time, the rectangles are
// asked again until they come (or stop changing).
void AtspiAccessibility::Impl::settleBounds(const std::vector<NodePtr>& batch) {
  // Showing without a rectangle: not come yet (what is hidden may have none for good).
  std::vector<NodePtr> late;
  for (auto& p : batch)
    if (p->extentsStatus == AxStatus::noValue && (p->states & bit(ATSPI_STATE_SHOWING)))
      late.push_back(p);
  if (late.empty()) return;
  BusFacts& f = transport.facts(late.front()->bus);
  if (!toolkitOf(late.front()->bus).boundsLate || f.boundsSettled) return;
  std::int64_t until = g_get_monotonic_time() + BOUNDS_WAIT_MICROS;
  bool came = false;
  while (!late.empty() && g_get_monotonic_time() < until) {
    g_usleep(BOUNDS_POLL_MICROS);
    readExtents(late);
    std::size_t before = late.size();
    std::erase_if(late, [](const NodePtr& p) { return p->extentsStatus != AxStatus::noValue; });
    // What came has come: the rest have no rectangle.
    if (late.size() == before && came) break;
    came = came || late.size() < before;
  }
  f.boundsSettled = true;
}

void AtspiAccessibility::Impl::extents(Node* n) {
  extents(std::vector<Node*>{n});
}

} // namespace plenk
