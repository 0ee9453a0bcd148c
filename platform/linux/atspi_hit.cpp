// Hit-testing: the element under a point of the screen, through the window on top there.
#include "platform/linux/atspi_impl.hpp"

#include <atspi/atspi-constants.h>

namespace plenk {

NodePtr AtspiAccessibility::Impl::underUnplaced(Node& parent,
                                                const std::function<bool(Node&)>& inside) {
  bool showing = toolkitOf(parent.bus).showing;
  for (auto it = parent.children.rbegin(); it != parent.children.rend(); ++it) {
    Node& c = **it;
    if (!shown(c, showing) || c.extentsStatus != AxStatus::noValue) continue;
    if (!c.childrenKnown) childrenOf({&c});
    basics(raw(c.children));
    for (auto g = c.children.rbegin(); g != c.children.rend(); ++g)
      if (shown(**g, showing) && inside(**g)) return *g;
  }
  return nullptr;
}

AxResult<Element> AtspiAccessibility::Impl::hitTest(double x, double y) {
  const XDesktop* d = desktop();
  if (!d) return {AxStatus::failure, {}};
  const XWindow* top = nullptr;
  for (auto it = d->stacking.rbegin(); it != d->stacking.rend(); ++it)
    if (!it->hidden && x >= it->x && y >= it->y && x < it->x + it->width &&
        y < it->y + it->height) {
      top = &*it;
      break;
    }
  if (!top) return {AxStatus::noValue, {}};
  NodePtr app = appForPid(top->pid);
  if (!app) return {AxStatus::noValue, {}};
  auto inside = [&](Node& n) {
    extents(&n);
    const Rect& r = n.extents;
    return n.extentsStatus == AxStatus::ok && r.size.width > 0 && r.size.height > 0 &&
           x >= r.origin.x && y >= r.origin.y && x < r.origin.x + r.size.width &&
           y < r.origin.y + r.size.height;
  };
  NodePtr current;
  for (auto& w : windowsOf(app))
    if (w->name == top->title) current = w;
  if (!current)
    for (auto& w : windowsOf(app))
      if (inside(*w)) current = w;
  if (!current) return {AxStatus::noValue, {}};
  bool showing = toolkitOf(app->bus).showing;
  for (int depth = 0; depth < SEARCH_DEPTH && !stopsHitTest(current->role); ++depth) {
    if (!current->childrenKnown) childrenOf({current.get()});
    basics(raw(current->children));
    // The children as the walk sees them; the last that holds the point is on top (a GTK
    // overlay comes after what it covers in reading order as well; a Qt one keeps its place).
    inReadingOrder(*current);
    const auto& stack = current->stacked.empty() ? current->children : current->stacked;
    for (auto& c : stack)
      if (!c->extentsKnown) pendingExtents.push_back(c);
    NodePtr next;
    for (auto it = stack.rbegin(); it != stack.rend() && !next; ++it) {
      Node& c = **it;
      if (!shown(c, showing)) continue;
      if (inside(c)) next = *it;
    }
    if (!next && toolkitOf(app->bus).lookThroughUnplaced) next = underUnplaced(*current, inside);
    if (!next) break;
    current = next;
  }
  return {AxStatus::ok, element(current)};
}

} // namespace plenk
