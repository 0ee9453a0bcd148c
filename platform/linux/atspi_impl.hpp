// The AT-SPI backend's state during and between requests, shared by its rooms: the tree of
// accessibles with its look ahead (atspi_tree.cpp), rectangles (atspi_geometry.cpp), what an
// element says (atspi_attributes.cpp), applications and their windows (atspi_apps.cpp) and
// hit-testing (atspi_hit.cpp). Calls go through the transport (atspi_bus.hpp).
#pragma once

#include "platform/linux/atspi.hpp"
#include "platform/linux/atspi_bus.hpp"
#include "platform/linux/atspi_node.hpp"
#include "platform/linux/atspi_toolkits.hpp"
#include "platform/linux/atspi_windows.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plenk {

namespace atspi {

// The most nodes one look ahead reads.
inline constexpr std::size_t PREFETCH_NODES = 3000;
// The most nodes whose facts one batch reads.
inline constexpr std::size_t BATCH_NODES = 400;
// A slow application must not keep the look ahead past the walk's own budget.
inline constexpr std::int64_t LOOK_AHEAD_MICROS = 1'000'000;
// Bounds of the searches the backend does for itself (focused element, menu bar, hit-test).
inline constexpr std::size_t SEARCH_NODES = 6000;
inline constexpr int SEARCH_DEPTH = 60;
inline constexpr std::int64_t SEARCH_MICROS = 1'000'000;
inline constexpr std::size_t MENU_BAR_SEARCH_NODES = 400;
inline constexpr int MENU_BAR_SEARCH_DEPTH = 6;
inline constexpr std::int64_t EMPTY_RECHECK_MICROS = 100'000;
// How long waking an application's accessibility waits for its windows to show their contents.
inline constexpr std::int64_t WAKE_WAIT_MICROS = 2'000'000;
inline constexpr std::int64_t WAKE_POLL_MICROS = 100'000;
// How long the first request waits for an application's late rectangles (Gecko), and how often
// it asks again.
inline constexpr std::int64_t BOUNDS_WAIT_MICROS = 1'500'000;
inline constexpr std::int64_t BOUNDS_POLL_MICROS = 100'000;
// How long waking such an application waits for its front document's rectangle.
inline constexpr std::int64_t LAYOUT_WAIT_MICROS = 5'000'000;
// How long the guard before typing waits for a focus that a password field may otherwise have.
inline constexpr std::int64_t FOCUS_WAIT_MICROS = 1'000'000;
inline constexpr std::int64_t FOCUS_POLL_MICROS = 50'000;

} // namespace atspi

using atspi::BATCH_NODES;
using atspi::bit;
using atspi::BOUNDS_POLL_MICROS;
using atspi::BOUNDS_WAIT_MICROS;
using atspi::BusFacts;
using atspi::CACHE_PATH;
using atspi::Call;
using atspi::DEFAULT_TIMEOUT_MS;
using atspi::EMPTY_RECHECK_MICROS;
using atspi::FOCUS_POLL_MICROS;
using atspi::FOCUS_WAIT_MICROS;
using atspi::I_ACCESSIBLE;
using atspi::I_APPLICATION;
using atspi::I_CACHE;
using atspi::I_COMPONENT;
using atspi::I_PROPERTIES;
using atspi::I_TEXT;
using atspi::I_VALUE;
using atspi::isAtomic;
using atspi::isBlank;
using atspi::isCandidate;
using atspi::isCheckable;
using atspi::isClassName;
using atspi::isTextRole;
using atspi::isValueRole;
using atspi::isWindowRole;
using atspi::LAYOUT_WAIT_MICROS;
using atspi::LOOK_AHEAD_MICROS;
using atspi::mappedRole;
using atspi::MENU_BAR_SEARCH_DEPTH;
using atspi::MENU_BAR_SEARCH_NODES;
using atspi::Node;
using atspi::NodePtr;
using atspi::NULL_PATH;
using atspi::PREFETCH_NODES;
using atspi::REGISTRY;
using atspi::ROOT_PATH;
using atspi::SEARCH_DEPTH;
using atspi::SEARCH_MICROS;
using atspi::SEARCH_NODES;
using atspi::shown;
using atspi::stateBits;
using atspi::stopsHitTest;
using atspi::ToolkitQuirks;
using atspi::trimmed;
using atspi::WAKE_POLL_MICROS;
using atspi::WAKE_WAIT_MICROS;
using atspi::XDesktop;
using atspi::XWindow;

struct AtspiAccessibility::Impl {
  atspi::Transport transport;
  unsigned gen = 1;
  std::map<std::pair<std::string, std::string>, std::weak_ptr<Node>> nodes;
  std::size_t purgeAt = 4096;
  NodePtr systemWideNode;
  // Nodes of this request waiting for facts that the look ahead reads together.
  std::vector<std::weak_ptr<Node>> pendingExtents, pendingTexts, pendingLabels, pendingBasics;
  std::optional<XDesktop> xdesktop; // read once per request
  unsigned xdesktopGen = 0;
  // Where each relative window's rectangles start on the screen (this request).
  std::map<unsigned long, std::optional<atspi::Origin>> origins;

  // The children of the nodes whose children the toolkit's cache holds whole (this request).
  std::map<std::pair<std::string, std::string>, std::vector<NodePtr>> cachedChildren;

  void newRequest() {
    ++gen;
    pendingExtents.clear();
    pendingTexts.clear();
    pendingLabels.clear();
    pendingBasics.clear();
    cachedChildren.clear();
    transport.newRequest();
  }

  NodePtr intern(const std::string& bus, const std::string& path, Node::Kind kind);

  static Node& of(const Element& e);
  static NodePtr ptr(const Element& e);
  static Element element(const NodePtr& n);

  // The Accessible properties in `dict` (a{sv}): all of them from GetAll, or one from Get.
  static void takeProperties(Node& n, GVariant* dict);

  // Role, states, name, description and child count of each node, read together with those of
  // the nodes waiting for them (children listed by a look ahead that ran out of time before it
  // read them: one at a time, each would cost a round trip of its own).
  void basics(const std::vector<Node*>& wanted);

  // Puts a node whose basics are read into the queues of the facts the readers will ask of it,
  // in the order the look ahead meets them.
  void queueFacts(Node& n);

  void basics(Node* n);

  // The children of each node, one batch for all.
  void childrenOf(const std::vector<Node*>& list);

  // The toolkit's cache of its accessibles (the AT-SPI bridge of GTK 3 and Chromium keeps one):
  // role, states, names and child count of every accessible it holds, and each one's place under
  // its parent, in one call. Read once per request for an application that a walk enters.
  void readCache(const std::string& bus);

  // Takes the basics of each cached accessible, and the children of the nodes whose children the
  // cache holds all of (the bridge leaves out the children of lists that make theirs on demand,
  // and may lag behind a change): the rest are asked for as before. Everything in the cache is
  // read live when it answers, so it is as fresh as a call of our own.
  void fromCache(const std::string& bus, GVariant* reply);

  std::vector<Node*> raw(const std::vector<NodePtr>& v) {
    std::vector<Node*> out;
    out.reserve(v.size());
    for (const auto& n : v)
      out.push_back(n.get());
    return out;
  }

  // Up to BATCH_NODES waiting nodes of this request that still lack a fact, oldest first; the
  // rest keep waiting. One read never costs more than one such batch.
  template <typename Known>
  std::vector<NodePtr> takePending(std::vector<std::weak_ptr<Node>>& pending, Known known,
                                   std::size_t limit = BATCH_NODES) {
    std::vector<NodePtr> out;
    std::size_t i = 0;
    for (; i < pending.size() && out.size() < limit; ++i)
      if (auto p = pending[i].lock(); p && p->gen == gen && !known(*p)) out.push_back(std::move(p));
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(i));
    return out;
  }

  // Reads ahead from `start` breadth first: the children and basics of up to PREFETCH_NODES
  // nodes below it, each level in one batch, so that a walk that follows finds them read.
  void lookAhead(Node* start);

  NodePtr textLeaf(const NodePtr& n, std::string text);

  // The children of an element whose own text is its content, with that text as static-text
  // children: each piece between two embedded objects goes before the child that the next one
  // stands for, as browsers give a paragraph on other desktops. A cell whose name says its text
  // already, and the text roles that give their text as their value, get none.
  std::vector<NodePtr> withContentText(const NodePtr& n, const std::vector<NodePtr>& shownChildren);

  // The children as the logic sees them: an in-window menu bar belongs to the application's
  // AXMenuBar, not to the window; a childless heading or list item gets its text as a child.
  std::pair<AxStatus, std::vector<NodePtr>> visibleChildren(const NodePtr& n);

  ToolkitQuirks toolkitOf(const std::string& bus);

  // GTK 3 lists the children of some containers in an order of its own, not the one a user
  // reads: a grid or table last attached first, a frame its label after its content, a header
  // bar from the right, a fixed layout in the order they were put. All of those are panels; their
  // children are put in reading order by where they are. The other toolkits list children in the
  // order of their layout.
  void inReadingOrder(Node& n);

  const XDesktop* desktop();

  // The X window of a top-level accessible: the application's window with its title, else its
  // only window.
  const XWindow* xWindowOf(Node& window);

  void applyExtents(Node* n, GVariant* r);

  // GTK 4 gives extents relative to its window even when asked for the screen's, and so does
  // every toolkit in a Wayland client's window.
  void toScreen(Node* n);

  // Extents of the nodes, read together with those of every node waiting for them.
  void extents(const std::vector<Node*>& wanted);

  void readExtents(const std::vector<NodePtr>& batch);

  // Gecko answers (-1, -1, -1, -1) until its cache of a page's layout has come over from the
  // page's process, a moment after the first client asks: the first time, the rectangles are
  // asked again until they come (or stop changing).
  void settleBounds(const std::vector<NodePtr>& batch);

  void extents(Node* n);

  // The text content (Text interface), read together with that of the waiting text nodes.
  std::string nodeText(const NodePtr& n);

  // The attributes (the placeholder), the labelling element and the help text of `n`, all three
  // read together with those of the nodes waiting for them.
  void labelFacts(Node* n, bool wantAttributes);

  // The first target of the labelled-by relation in a GetRelationSet reply.
  NodePtr labellingTarget(GVariant* reply, Node* n);

  // The application registered on the accessibility bus by this process, or none.
  NodePtr appForPid(int pid);

  NodePtr frontApp();

  std::vector<NodePtr> windowsOf(const NodePtr& app) {
    auto [status, children] = visibleChildren(app);
    std::vector<NodePtr> windows;
    // An application's children are its windows: GTK 4.8 tells its file chooser dialog as a
    // filler.
    for (auto& c : children)
      if (isWindowRole(c->role) || c->role == ATSPI_ROLE_FILLER) windows.push_back(c);
    return windows;
  }

  NodePtr focusedWindow(const NodePtr& app);

  NodePtr mainWindow(const NodePtr& app);

  // Depth-first search below `root` (raw children, menu bars included) for the first node that
  // `match` accepts.
  NodePtr search(const NodePtr& root, const std::function<bool(const Node&)>& match,
                 std::size_t limit = SEARCH_NODES, int maxDepth = SEARCH_DEPTH);

  NodePtr focusedElement(const NodePtr& app);

  // Where the keys go, as far as the guard before typing must assume. A toolkit can take keys
  // before it tells the focus (Qt sets its focused state only once its window has seen the focus
  // event): a window that tells no focus while it shows a password field may have the keys in
  // that field.
  NodePtr keyboardFocus(const NodePtr& app);

  // Collection.GetMatches for the first descendant with the focused state.
  std::pair<AxStatus, NodePtr> firstFocused(const NodePtr& window);

  NodePtr menuBar(const NodePtr& app);

  AxResult<AttrValue> fail(AxStatus s);
  // Out of line: inlined into its many callers, GCC 12 with the sanitizers reports moves out of
  // variants as reads of uninitialised memory.
  [[gnu::noinline]] static AxResult<AttrValue> ok(AttrValue v);

  AxResult<AttrValue> elementOr(const NodePtr& n);

  AxResult<AttrValue> systemWideAttribute(std::string_view name);

  AxResult<AttrValue> appAttribute(const NodePtr& app, std::string_view name);

  AxResult<AttrValue> objectAttribute(const NodePtr& n, std::string_view name);

  // Chromium builds its accessibility tree on Linux once a client asks a window for its
  // children: the first answer is the null object, the tree follows a moment later. Asking is
  // what wakes it; waiting here keeps the first request from reading an empty window.
  AxStatus wake(const NodePtr& app);

  // Before the first walk of a toolkit whose layout comes late (Gecko): waits, outside the walk's
  // budget, until the showing document of the front window has a rectangle.
  void awaitLayout(const NodePtr& app);

  // A child of `parent` under a showing child that has no rectangle of its own (GTK 3's notebook
  // page without its tab: the terminal of a one-tab terminal window lies under it).
  NodePtr underUnplaced(Node& parent, const std::function<bool(Node&)>& inside);

  AxResult<Element> hitTest(double x, double y);
};

} // namespace plenk
