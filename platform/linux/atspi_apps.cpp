// Applications on the accessibility bus: by process, the front one, their windows, the focus, the
// menu bar, and waking them.
#include "platform/linux/atspi_impl.hpp"

#include <algorithm>
#include <atspi/atspi-constants.h>

namespace plenk {

// The application registered on the accessibility bus by this process, or none.
NodePtr AtspiAccessibility::Impl::appForPid(int pid) {
  if (pid <= 0) return nullptr;
  NodePtr registry = intern(REGISTRY, ROOT_PATH, Node::Kind::app);
  registry->childrenKnown = false;
  registry->children.clear();
  childrenOf({registry.get()});
  for (auto& child : registry->children)
    if (transport.pidOfBus(child->bus) == pid) {
      NodePtr app = intern(child->bus, ROOT_PATH, Node::Kind::app);
      return app;
    }
  return nullptr;
}

NodePtr AtspiAccessibility::Impl::frontApp() {
  const XDesktop* d = desktop();
  if (!d || !d->active) return nullptr;
  for (const auto& w : d->stacking)
    if (w.id == *d->active) return appForPid(w.pid);
  return nullptr;
}

NodePtr AtspiAccessibility::Impl::focusedWindow(const NodePtr& app) {
  for (auto& w : windowsOf(app))
    if (w->states & bit(ATSPI_STATE_ACTIVE)) return w;
  // A window that the window manager says is active, when the toolkit does not say so itself.
  const XDesktop* d = desktop();
  if (d && d->active)
    for (const auto& xw : d->stacking)
      if (xw.id == *d->active && xw.pid == transport.pidOfBus(app->bus))
        for (auto& w : windowsOf(app))
          if (w->name == xw.title) return w;
  return nullptr;
}

NodePtr AtspiAccessibility::Impl::mainWindow(const NodePtr& app) {
  auto windows = windowsOf(app);
  for (auto& w : windows)
    if (w->states & (bit(ATSPI_STATE_SHOWING) | bit(ATSPI_STATE_VISIBLE))) return w;
  return windows.empty() ? nullptr : windows.front();
}

// Depth-first search below `root` (raw children, menu bars included) for the first node that
// `match` accepts.
NodePtr AtspiAccessibility::Impl::search(const NodePtr& root,
                                         const std::function<bool(const Node&)>& match,
                                         std::size_t limit, int maxDepth) {
  std::vector<std::pair<NodePtr, int>> stack{{root, 0}};
  std::size_t seen = 0;
  // It runs before the walk's own budget starts: keep it well inside that budget.
  std::int64_t until = g_get_monotonic_time() + SEARCH_MICROS;
  while (!stack.empty() && seen++ < limit && g_get_monotonic_time() < until) {
    auto [n, depth] = std::move(stack.back());
    stack.pop_back();
    n->renew(gen); // a search that waits for a change reads it anew
    if (n != root && match(*n)) return n;
    if (depth >= maxDepth || transport.facts(n->bus).unresponsive) continue;
    if (!n->childrenKnown) lookAhead(n.get());
    basics(raw(n->children));
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
      stack.emplace_back(*it, depth + 1);
  }
  return nullptr;
}

NodePtr AtspiAccessibility::Impl::focusedElement(const NodePtr& app) {
  NodePtr window = focusedWindow(app);
  if (!window) window = mainWindow(app);
  if (!window) return nullptr;
  // The toolkits with the Collection interface find it themselves, in one call.
  if (toolkitOf(window->bus).collection) {
    auto [status, found] = firstFocused(window);
    if (status == AxStatus::ok) return found;
  }
  return search(window, [](const Node& n) { return n.states & bit(ATSPI_STATE_FOCUSED); });
}

// Where the keys go, as far as the guard before typing must assume. A toolkit can take keys
// before it tells the focus (Qt sets its focused state only once its window has seen the focus
// event): a window that tells no focus while it shows a password field may have the keys in
// that field.
NodePtr AtspiAccessibility::Impl::keyboardFocus(const NodePtr& app) {
  if (NodePtr found = focusedElement(app)) return found;
  NodePtr window = focusedWindow(app);
  if (!window) window = mainWindow(app);
  if (!window) return nullptr;
  NodePtr password = search(window, [](const Node& n) {
    return n.role == ATSPI_ROLE_PASSWORD_TEXT && (n.states & bit(ATSPI_STATE_SHOWING));
  });
  // Any toolkit tells a new focus a moment late on a loaded machine (GTK 3 right after a click
  // into its text view): asked again for a while before the password field is taken for it.
  std::int64_t until = g_get_monotonic_time() + FOCUS_WAIT_MICROS;
  while (password && g_get_monotonic_time() < until) {
    g_usleep(FOCUS_POLL_MICROS);
    newRequest();
    if (NodePtr found = focusedElement(app)) return found;
  }
  return password;
}

// Collection.GetMatches for the first descendant with the focused state.
std::pair<AxStatus, NodePtr> AtspiAccessibility::Impl::firstFocused(const NodePtr& window) {
  constexpr gint32 MATCH_ALL = 1, SORT_CANONICAL = 1;
  GVariantBuilder states, attributes, roles, interfaces;
  g_variant_builder_init(&states, G_VARIANT_TYPE("ai"));
  std::uint64_t focused = bit(ATSPI_STATE_FOCUSED);
  g_variant_builder_add(&states, "i", static_cast<gint32>(focused & 0xffffffff));
  g_variant_builder_add(&states, "i", static_cast<gint32>(focused >> 32));
  g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
  g_variant_builder_init(&roles, G_VARIANT_TYPE("ai"));
  g_variant_builder_init(&interfaces, G_VARIANT_TYPE("as"));
  GVariant* params =
      g_variant_new("((aiia{ss}iaiiasib)uib)", &states, MATCH_ALL, &attributes, MATCH_ALL, &roles,
                    MATCH_ALL, &interfaces, MATCH_ALL, FALSE, SORT_CANONICAL, 1, TRUE);
  AxStatus status = AxStatus::failure;
  NodePtr found;
  transport.runOne({window->bus, window->path, "org.a11y.atspi.Collection", "GetMatches", params,
                    [&](GVariant* r, AxStatus s) {
                      status = s;
                      if (!r) return;
                      GVariantIter* it = nullptr;
                      g_variant_get(r, "(a(so))", &it);
                      const gchar *bus = nullptr, *path = nullptr;
                      if (g_variant_iter_next(it, "(&s&o)", &bus, &path) &&
                          std::string_view(path) != NULL_PATH)
                        found = intern(bus, path, Node::Kind::object);
                      g_variant_iter_free(it);
                    }});
  if (found) {
    found->window = window;
    basics(found.get());
  }
  return {status, found};
}

NodePtr AtspiAccessibility::Impl::menuBar(const NodePtr& app) {
  NodePtr window = focusedWindow(app);
  if (!window) window = mainWindow(app);
  if (!window) return nullptr;
  // A menu bar sits near the top of its window: no need to search a whole page for one.
  return search(
      window, [](const Node& n) { return n.role == ATSPI_ROLE_MENU_BAR; }, MENU_BAR_SEARCH_NODES,
      MENU_BAR_SEARCH_DEPTH);
}

// Chromium builds its accessibility tree on Linux once a client asks a window for its
// children: the first answer is the null object, the tree follows a moment later. Asking is
// what wakes it; waiting here keeps the first request from reading an empty window.
AxStatus AtspiAccessibility::Impl::wake(const NodePtr& app) {
  if (app->bus.empty()) return AxStatus::invalidElement;
  std::int64_t until = g_get_monotonic_time() + WAKE_WAIT_MICROS;
  for (;;) {
    bool asleep = false;
    for (auto& w : windowsOf(app)) {
      w->renew(gen);
      if (!w->basicsKnown) basics(w.get());
      if (w->childCount == 0 || transport.facts(w->bus).unresponsive) continue;
      if (!w->childrenKnown) childrenOf({w.get()});
      if (w->children.empty() && w->childrenStatus == AxStatus::ok) asleep = true;
    }
    if (!asleep || g_get_monotonic_time() >= until) {
      awaitLayout(app);
      return AxStatus::ok;
    }
    g_usleep(WAKE_POLL_MICROS);
    for (auto& w : windowsOf(app)) {
      w->childrenKnown = false;
      w->basicsKnown = false;
    }
  }
}

// Before the first walk of a toolkit whose layout comes late (Gecko): waits, outside the walk's
// budget, until the showing document of the front window has a rectangle.
void AtspiAccessibility::Impl::awaitLayout(const NodePtr& app) {
  BusFacts& f = transport.facts(app->bus);
  if (f.boundsSettled || f.unresponsive || !toolkitOf(app->bus).boundsLate) return;
  NodePtr window = focusedWindow(app);
  if (!window) window = mainWindow(app);
  if (!window) return;
  auto showingDocument = [](const Node& n) {
    return n.role == ATSPI_ROLE_DOCUMENT_WEB && (n.states & bit(ATSPI_STATE_SHOWING));
  };
  std::int64_t until = g_get_monotonic_time() + LAYOUT_WAIT_MICROS;
  // A browser just woken may not have put its page into the tree yet (on a loaded machine that
  // comes a while after the window's own controls), and a woken Chromium replaces an empty document
  // with the page's own a moment after; the document's content's states, names and rectangles come
  // later still, a part at a time (until then it is not showing). Everything is read anew at each
  // look, until the document has parts, those that show have a rectangle and no more of them came
  // since the last look.
  std::size_t shownBefore = 0;
  for (;;) {
    if (NodePtr document = search(window, showingDocument)) {
      document->childrenKnown = false;
      document->children.clear();
      childrenOf({document.get()});
      for (auto& c : document->children)
        c->basicsKnown = false;
      basics(raw(document->children));
      std::vector<NodePtr> shownParts;
      for (auto& c : document->children)
        if (c->states & bit(ATSPI_STATE_SHOWING)) shownParts.push_back(c);
      readExtents(shownParts);
      bool placed = !shownParts.empty() &&
                    std::all_of(shownParts.begin(), shownParts.end(),
                                [](auto& c) { return c->extentsStatus != AxStatus::noValue; });
      if (placed && shownParts.size() == shownBefore) break;
      shownBefore = shownParts.size();
    }
    // A page that never shows anything is not waited for again.
    if (g_get_monotonic_time() >= until) break;
    g_usleep(BOUNDS_POLL_MICROS);
    newRequest();
  }
  f.boundsSettled = true;
}

} // namespace plenk
