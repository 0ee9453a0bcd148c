// The tree of accessibles during a request: nodes, their basics and children, the toolkit's cache,
// the look ahead, reading order and the text children of document elements.
#include "platform/linux/atspi_impl.hpp"
#include "platform/linux/atspi_order.hpp"
#include "platform/linux/atspi_text.hpp"

#include <algorithm>
#include <atspi/atspi-constants.h>

namespace plenk {

NodePtr AtspiAccessibility::Impl::intern(const std::string& bus, const std::string& path,
                                         Node::Kind kind) {
  auto key = std::make_pair(bus, path);
  if (auto found = nodes[key].lock()) {
    found->renew(gen);
    return found;
  }
  auto n = std::make_shared<Node>();
  n->kind = kind;
  n->bus = bus;
  n->path = path;
  n->gen = gen;
  nodes[key] = n;
  if (nodes.size() > purgeAt) {
    std::erase_if(nodes, [](const auto& e) { return e.second.expired(); });
    purgeAt = std::max<std::size_t>(4096, nodes.size() * 2);
  }
  return n;
}

Node& AtspiAccessibility::Impl::of(const Element& e) {
  return *static_cast<Node*>(e.ref().get());
}

NodePtr AtspiAccessibility::Impl::ptr(const Element& e) {
  return std::static_pointer_cast<Node>(e.ref());
}

Element AtspiAccessibility::Impl::element(const NodePtr& n) {
  return Element(std::static_pointer_cast<void>(n));
}

// The Accessible properties in `dict` (a{sv}): all of them from GetAll, or one from Get.
void AtspiAccessibility::Impl::takeProperties(Node& n, GVariant* dict) {
  const gchar* str = nullptr;
  if (g_variant_lookup(dict, "Name", "&s", &str)) n.name = isClassName(str) ? "" : str;
  if (g_variant_lookup(dict, "Description", "&s", &str)) n.description = str;
  // Newer toolkits say what a tooltip says here; GTK 3 and 4.8 put a tooltip into the
  // description.
  if (g_variant_lookup(dict, "HelpText", "&s", &str)) n.help = str;
  gint32 count = -1;
  if (g_variant_lookup(dict, "ChildCount", "i", &count)) n.childCount = count;
  GVariantIter* it = nullptr;
  if (g_variant_lookup(dict, "Attributes", "a{ss}", &it)) {
    n.attributes.emplace();
    const gchar *k = nullptr, *v = nullptr;
    while (g_variant_iter_next(it, "{&s&s}", &k, &v))
      (*n.attributes)[k] = v;
    g_variant_iter_free(it);
  }
}

// Role, states, name, description and child count of each node, read together with those of
// the nodes waiting for them (children listed by a look ahead that ran out of time before it
// read them: one at a time, each would cost a round trip of its own).
void AtspiAccessibility::Impl::basics(const std::vector<Node*>& wanted) {
  std::vector<Call> calls;
  std::vector<Node*> list = wanted;
  std::vector<NodePtr> waiting;
  if (std::any_of(wanted.begin(), wanted.end(), [this](Node* n) {
        return n->kind == Node::Kind::object && (n->gen != gen || !n->basicsKnown);
      })) {
    // Up to a batch in all: a read past the walk's deadline stays short.
    waiting = takePending(
        pendingBasics, [](const Node& q) { return q.basicsKnown; },
        BATCH_NODES - std::min(BATCH_NODES, wanted.size()));
    for (auto& p : waiting)
      list.push_back(p.get());
  }
  for (Node* n : list) {
    n->renew(gen);
    if (n->basicsKnown || n->kind != Node::Kind::object) continue;
    n->basicsKnown = true;
    n->basicsStatus = AxStatus::ok;
    auto fail = [n](AxStatus s) {
      if (s != AxStatus::ok && n->basicsStatus == AxStatus::ok) n->basicsStatus = s;
    };
    calls.push_back(
        {n->bus, n->path, I_ACCESSIBLE, "GetRole", nullptr, [n, fail](GVariant* r, AxStatus s) {
           if (r) g_variant_get(r, "(u)", &n->role);
           fail(s);
         }});
    calls.push_back(
        {n->bus, n->path, I_ACCESSIBLE, "GetState", nullptr, [n, fail](GVariant* r, AxStatus s) {
           fail(s);
           if (!r || !g_variant_is_of_type(r, G_VARIANT_TYPE("(au)"))) return;
           GVariant* words = g_variant_get_child_value(r, 0);
           n->states = stateBits(words);
           g_variant_unref(words);
         }});
    if (toolkitOf(n->bus).getAll) {
      calls.push_back({n->bus, n->path, I_PROPERTIES, "GetAll", g_variant_new("(s)", I_ACCESSIBLE),
                       [n, fail](GVariant* r, AxStatus s) {
                         fail(s);
                         if (!r) return;
                         GVariant* dict = g_variant_get_child_value(r, 0);
                         takeProperties(*n, dict);
                         n->helpKnown = true;
                         g_variant_unref(dict);
                       }});
      continue;
    }
    // One property at a time where GetAll is not safe; the help text is read when asked for.
    for (const char* property : {"Name", "Description", "ChildCount"})
      calls.push_back({n->bus, n->path, I_PROPERTIES, "Get",
                       g_variant_new("(ss)", I_ACCESSIBLE, property),
                       [n, fail, property](GVariant* r, AxStatus s) {
                         if (s != AxStatus::attributeUnsupported) fail(s);
                         GVariant* v = nullptr;
                         if (r && g_variant_is_of_type(r, G_VARIANT_TYPE("(v)")))
                           g_variant_get(r, "(v)", &v);
                         if (!v) return;
                         GVariantBuilder one;
                         g_variant_builder_init(&one, G_VARIANT_TYPE_VARDICT);
                         g_variant_builder_add(&one, "{sv}", property, v);
                         GVariant* dict = g_variant_ref_sink(g_variant_builder_end(&one));
                         takeProperties(*n, dict);
                         g_variant_unref(dict);
                         g_variant_unref(v);
                       }});
  }
  transport.run(calls);
  for (Node* n : list)
    if (n->basicsKnown) queueFacts(*n);
}

// Puts a node whose basics are read into the queues of the facts the readers will ask of it,
// in the order the look ahead meets them.
void AtspiAccessibility::Impl::queueFacts(Node& n) {
  if (n.kind != Node::Kind::object || n.basicsStatus != AxStatus::ok || n.factsQueued) return;
  n.factsQueued = true;
  // Nothing is read of what is not on the screen (the rows of a long list that are scrolled
  // away): the walk, read_text and hit-testing all pass it by.
  if (!shown(n, toolkitOf(n.bus).showing)) return;
  if (isCandidate(n)) pendingExtents.push_back(n.shared_from_this());
  // Headings and list items need their own text only when no children carry it.
  bool container = n.role == ATSPI_ROLE_LIST_ITEM || n.role == ATSPI_ROLE_HEADING;
  if (n.role == ATSPI_ROLE_TEXT || n.role == ATSPI_ROLE_ENTRY || atspi::textIsContent(n.role) ||
      (isTextRole(n.role) && n.name.empty() && !(container && n.childCount != 0)))
    pendingTexts.push_back(n.shared_from_this());
  // Nothing of its own labels it: the placeholder or a labelling element may.
  if (isCandidate(n) && isBlank(n.name) && isBlank(n.description) && isBlank(n.help))
    pendingLabels.push_back(n.shared_from_this());
}

void AtspiAccessibility::Impl::basics(Node* n) {
  basics(std::vector<Node*>{n});
}

// The children of each node, one batch for all.
void AtspiAccessibility::Impl::childrenOf(const std::vector<Node*>& list) {
  std::vector<Call> calls;
  for (Node* n : list) {
    n->renew(gen);
    if (n->childrenKnown) continue;
    n->childrenKnown = true;
    n->childrenOrdered = false;
    n->childrenStatus = AxStatus::ok;
    n->childrenAt = g_get_monotonic_time();
    if (n->kind == Node::Kind::textLeaf) continue;
    if (n->kind == Node::Kind::object && n->basicsKnown && n->childCount == 0) continue;
    if (auto cached = cachedChildren.find({n->bus, n->path}); cached != cachedChildren.end()) {
      for (const NodePtr& child : cached->second) {
        child->parent = n->shared_from_this();
        child->parentRole = n->role;
        child->window = n->window;
        queueFacts(*child);
        n->children.push_back(child);
      }
      continue;
    }
    calls.push_back(
        {n->bus, n->path, I_ACCESSIBLE, "GetChildren", nullptr, [this, n](GVariant* r, AxStatus s) {
           n->childrenStatus = s;
           if (!r) return;
           GVariantIter* it = nullptr;
           g_variant_get(r, "(a(so))", &it);
           const gchar *bus = nullptr, *path = nullptr;
           NodePtr self = n->shared_from_this();
           bool topLevel = n->kind == Node::Kind::app;
           while (g_variant_iter_next(it, "(&s&o)", &bus, &path)) {
             bool root = std::string_view(path) == ROOT_PATH;
             NodePtr child = intern(bus, path, root ? Node::Kind::app : Node::Kind::object);
             if (child.get() == n) continue;
             // A browser that has not built its tree yet answers the null object.
             if (std::string_view(path) == NULL_PATH) continue;
             child->parent = self;
             child->parentRole = n->kind == Node::Kind::object ? n->role : 0;
             child->window = topLevel ? child : n->window;
             if (!child->basicsKnown && child->kind == Node::Kind::object)
               pendingBasics.push_back(child);
             n->children.push_back(std::move(child));
           }
           g_variant_iter_free(it);
         }});
  }
  transport.run(calls);
}

// The toolkit's cache of its accessibles (the AT-SPI bridge of GTK 3 and Chromium keeps one):
// role, states, names and child count of every accessible it holds, and each one's place under
// its parent, in one call. Read once per request for an application that a walk enters.
void AtspiAccessibility::Impl::readCache(const std::string& bus) {
  if (bus.empty() || bus == REGISTRY) return;
  BusFacts& f = transport.facts(bus);
  if (f.cacheGen == gen || f.unresponsive) return;
  f.cacheGen = gen;
  transport.runOne(
      {bus, CACHE_PATH, I_CACHE, "GetItems", nullptr, [this, bus](GVariant* r, AxStatus) {
         if (r) fromCache(bus, r);
       }});
}

// Takes the basics of each cached accessible, and the children of the nodes whose children the
// cache holds all of (the bridge leaves out the children of lists that make theirs on demand,
// and may lag behind a change): the rest are asked for as before. Everything in the cache is
// read live when it answers, so it is as fresh as a call of our own.
void AtspiAccessibility::Impl::fromCache(const std::string& bus, GVariant* reply) {
  // Older bridges answer another layout: then there is no cache to use.
  if (!g_variant_is_of_type(reply, G_VARIANT_TYPE("(a((so)(so)(so)iiassusau))"))) return;
  struct Placed {
    NodePtr node;
    std::string parent;
    gint32 index;
  };
  std::vector<Placed> placed;
  std::map<std::string, gint32> counts; // child count of each cached accessible
  GVariant* items = g_variant_get_child_value(reply, 0);
  GVariantIter it;
  g_variant_iter_init(&it, items);
  while (GVariant* item = g_variant_iter_next_value(&it)) {
    const gchar *selfBus = nullptr, *self = nullptr, *parentBus = nullptr, *parent = nullptr;
    const gchar *name = nullptr, *description = nullptr;
    gint32 index = -1, count = -1;
    guint32 role = 0;
    GVariant *states = nullptr, *interfaces = nullptr;
    g_variant_get(item, "((&s&o)(so)(&s&o)ii@as&su&s@au)", &selfBus, &self, nullptr, nullptr,
                  &parentBus, &parent, &index, &count, &interfaces, &name, &role, &description,
                  &states);
    std::uint64_t bits = stateBits(states);
    g_variant_unref(states);
    // A cache that lists no interfaces at all says nothing of them.
    bool text = g_variant_n_children(interfaces) == 0;
    GVariantIter names;
    g_variant_iter_init(&names, interfaces);
    for (const gchar* iface = nullptr; !text && g_variant_iter_next(&names, "&s", &iface);)
      text = std::string_view(iface) == I_TEXT;
    g_variant_unref(interfaces);
    if (bus == selfBus && std::string_view(self) != ROOT_PATH &&
        !(bits & bit(ATSPI_STATE_DEFUNCT))) {
      NodePtr n = intern(bus, self, Node::Kind::object);
      if (!n->basicsKnown) {
        n->basicsKnown = true;
        n->basicsStatus = AxStatus::ok;
        n->role = role;
        n->states = bits;
        n->name = isClassName(name) ? std::string() : std::string(name);
        n->description = description;
        n->childCount = count;
        n->textless = !text;
      }
      counts[self] = n->childCount;
      if (bus == parentBus && index >= 0) placed.push_back({std::move(n), parent, index});
    }
    g_variant_unref(item);
  }
  g_variant_unref(items);
  std::map<std::string, std::vector<Placed*>> byParent;
  for (auto& p : placed)
    byParent[p.parent].push_back(&p);
  for (auto& [parent, children] : byParent) {
    auto count = counts.find(parent);
    if (count == counts.end() || std::size_t(count->second) != children.size()) continue;
    std::sort(children.begin(), children.end(),
              [](const Placed* a, const Placed* b) { return a->index < b->index; });
    bool whole = true;
    for (std::size_t i = 0; i < children.size() && whole; ++i)
      whole = children[i]->index == gint32(i);
    if (!whole) continue;
    std::vector<NodePtr> nodes;
    for (Placed* p : children)
      nodes.push_back(p->node);
    cachedChildren[{bus, parent}] = std::move(nodes);
  }
}

void AtspiAccessibility::Impl::lookAhead(Node* start) {
  readCache(start->bus);
  // The walk takes the following siblings next: read some of them along with this one (the
  // walk goes depth first: the rest of a long list comes long after).
  std::vector<Node*> frontier{start};
  if (NodePtr parent = start->parent.lock()) {
    bool after = false;
    for (auto& sibling : parent->children) {
      if (frontier.size() >= BATCH_NODES) break;
      if (sibling.get() == start)
        after = true;
      else if (after && !sibling->childrenKnown && sibling->gen == gen &&
               shown(*sibling, toolkitOf(sibling->bus).showing))
        frontier.push_back(sibling.get());
    }
  }
  std::size_t read = 0;
  std::int64_t until = g_get_monotonic_time() + LOOK_AHEAD_MICROS;
  while (!frontier.empty() && read < PREFETCH_NODES && g_get_monotonic_time() < until) {
    childrenOf(frontier);
    std::vector<Node*> next;
    for (Node* n : frontier)
      for (auto& c : n->children)
        next.push_back(c.get());
    // In slices, so that the limits hold within a wide level too; what is left unread is read
    // when the walk gets there.
    for (std::size_t at = 0;
         at < next.size() && read + at < PREFETCH_NODES && g_get_monotonic_time() < until;
         at += BATCH_NODES)
      basics(std::vector<Node*>(
          next.begin() + static_cast<std::ptrdiff_t>(at),
          next.begin() + static_cast<std::ptrdiff_t>(std::min(next.size(), at + BATCH_NODES))));
    read += next.size();
    frontier.clear();
    for (Node* n : next)
      if (n->basicsKnown && !n->childrenKnown && n->childCount != 0 &&
          n->basicsStatus == AxStatus::ok && shown(*n, toolkitOf(n->bus).showing))
        frontier.push_back(n);
  }
}

NodePtr AtspiAccessibility::Impl::textLeaf(const NodePtr& n, std::string text) {
  auto leaf = std::make_shared<Node>();
  leaf->kind = Node::Kind::textLeaf;
  leaf->bus = n->bus;
  leaf->path = n->path;
  leaf->gen = gen;
  leaf->parent = n;
  leaf->window = n->window;
  leaf->role = ATSPI_ROLE_STATIC;
  leaf->basicsKnown = leaf->childrenKnown = leaf->textKnown = true;
  leaf->text = std::move(text);
  return leaf;
}

std::vector<NodePtr>
AtspiAccessibility::Impl::withContentText(const NodePtr& n,
                                          const std::vector<NodePtr>& shownChildren) {
  auto mapped = atspi::roleName(n->role, n->states, n->parentRole).role;
  bool selectable = n->role == ATSPI_ROLE_LIST_ITEM && (n->states & bit(ATSPI_STATE_SELECTABLE));
  if (!atspi::textIsContent(n->role) || selectable || mapped == "AXTextArea" ||
      mapped == "AXTextField" || mapped == "AXStaticText")
    return shownChildren;
  if (!n->leavesKnown) {
    n->leavesKnown = true;
    nodeText(n);
    // Toolkits that give the text as children of its own (Chromium's static texts) have no
    // embedded object for them: then the children say it all.
    std::vector<std::string> pieces = atspi::piecesAroundChildren(n->rawText, n->children.size());
    if (n->children.empty() && !pieces.empty()) {
      std::string& whole = pieces.front();
      // Headings and list items of toolkits without a Text interface give their name.
      if (isBlank(whole) && (n->role == ATSPI_ROLE_HEADING || n->role == ATSPI_ROLE_LIST_ITEM))
        whole = n->name;
      if (n->role == ATSPI_ROLE_TABLE_CELL && trimmed(whole) == trimmed(n->name)) whole.clear();
    }
    for (auto& piece : pieces)
      n->leaves.push_back(isBlank(piece) ? nullptr : textLeaf(n, std::move(piece)));
  }
  std::vector<NodePtr> out;
  std::size_t next = 0; // the next shown child
  for (std::size_t i = 0; i < n->leaves.size(); ++i) {
    if (n->leaves[i]) out.push_back(n->leaves[i]);
    // In place: the child that the embedded object after this piece stands for.
    if (n->leaves.size() == n->children.size() + 1 && i < n->children.size()) {
      if (next < shownChildren.size() && shownChildren[next] == n->children[i])
        out.push_back(shownChildren[next++]);
    }
  }
  out.insert(out.end(), shownChildren.begin() + std::ptrdiff_t(next), shownChildren.end());
  return out;
}

// The children as the logic sees them: an in-window menu bar belongs to the application's
// AXMenuBar, not to the window; a childless heading or list item gets its text as a child.
std::pair<AxStatus, std::vector<NodePtr>>
AtspiAccessibility::Impl::visibleChildren(const NodePtr& n) {
  n->renew(gen);
  // A container found empty may fill while a request waits for it (a page loading): asked
  // again a little later, it is read again.
  bool mayFill = n->kind == Node::Kind::app || n->role == ATSPI_ROLE_DOCUMENT_WEB ||
                 isWindowRole(n->role) || n->childCount > 0;
  if (n->childrenKnown && n->children.empty() && n->kind != Node::Kind::textLeaf && mayFill &&
      g_get_monotonic_time() - n->childrenAt > EMPTY_RECHECK_MICROS) {
    n->childrenKnown = false;
    n->basicsKnown = false;
  }
  if (!n->childrenKnown) {
    if (n->kind == Node::Kind::object)
      lookAhead(n.get());
    else
      childrenOf({n.get()});
  }
  if (n->childrenStatus != AxStatus::ok) return {n->childrenStatus, {}};
  if (n->kind == Node::Kind::object && isAtomic(n->role)) return {AxStatus::ok, {}};
  ToolkitQuirks quirks = n->kind == Node::Kind::object ? toolkitOf(n->bus) : ToolkitQuirks{};
  if (quirks.textWhole && (n->role == ATSPI_ROLE_TEXT || n->role == ATSPI_ROLE_ENTRY))
    return {AxStatus::ok, {}};
  // Roles tell which child is a menu bar, and a menu bar comes among a window's first
  // children: the rest of a long list is read as the walk gets there, together with what waits
  // after it, not all at once before the walk takes the first.
  std::vector<Node*> first = raw(n->children);
  if (first.size() > BATCH_NODES) first.resize(BATCH_NODES);
  basics(first);
  inReadingOrder(*n);
  // What is not showing is not on the screen, nor is anything inside it (a browser's preloaded
  // tab, a notebook's other pages). An application's windows are its own matter.
  bool showing = n->kind == Node::Kind::object && quirks.showing;
  // A toolkit that sets no showing state still lays out what it hides at no size (another page
  // of a stack, a closed revealer or info bar): nothing inside it is on the screen either.
  bool sized = quirks.hiddenAtNoSize;
  if (sized) {
    std::vector<Node*> unplaced;
    for (auto& c : n->children)
      if (!c->extentsKnown) unplaced.push_back(c.get());
    extents(unplaced);
  }
  auto noSize = [&](const Node& c) {
    return sized && c.extentsKnown && c.extentsStatus == AxStatus::ok &&
           (c.extents.size.width <= 0 || c.extents.size.height <= 0);
  };
  std::vector<NodePtr> out;
  for (auto& c : n->children)
    if (!(c->basicsKnown && c->role == ATSPI_ROLE_MENU_BAR) && shown(*c, showing) && !noSize(*c))
      out.push_back(c);
  if (n->kind == Node::Kind::object) return {AxStatus::ok, withContentText(n, out)};
  return {AxStatus::ok, out};
}

ToolkitQuirks AtspiAccessibility::Impl::toolkitOf(const std::string& bus) {
  BusFacts& f = transport.facts(bus);
  if (f.toolkit) return *f.toolkit;
  std::string toolkit, version;
  std::vector<Call> calls;
  for (auto [prop, out] : {std::pair{"ToolkitName", &toolkit}, std::pair{"Version", &version}})
    calls.push_back({bus, ROOT_PATH, I_PROPERTIES, "Get",
                     g_variant_new("(ss)", I_APPLICATION, prop),
                     [out = out](GVariant* r, AxStatus) {
                       if (!r) return;
                       GVariant* v = nullptr;
                       g_variant_get(r, "(v)", &v);
                       if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
                         *out = g_variant_get_string(v, nullptr);
                       if (v) g_variant_unref(v);
                     }});
  transport.run(calls);
  // Not answering: the safe calls for now, and asked again later.
  if (toolkit.empty() && version.empty()) return atspi::quirksOf("", "");
  f.toolkit = atspi::quirksOf(toolkit, version);
  return *f.toolkit;
}

// GTK 3 lists the children of some containers in an order of its own, not the one a user
// reads: a grid or table last attached first, a frame its label after its content, a header
// bar from the right, a fixed layout in the order they were put. All of those are panels; their
// children are put in reading order by where they are. The other toolkits list children in the
// order of their layout.
void AtspiAccessibility::Impl::inReadingOrder(Node& n) {
  if (n.childrenOrdered) return;
  n.childrenOrdered = true;
  if (n.kind != Node::Kind::object || n.children.size() < 2) return;
  const ToolkitQuirks quirks = toolkitOf(n.bus);
  bool panels = quirks.panelsByPosition && n.role == ATSPI_ROLE_PANEL;
  bool fillers = quirks.fillersByContent && (n.role == ATSPI_ROLE_FILLER || isWindowRole(n.role));
  if (!panels && !fillers) return;
  extents(raw(n.children));
  auto placed = [](const Node& c) {
    // GTK 3 places what it does not show at the far negative corner.
    return c.extentsStatus == AxStatus::ok && c.extents.origin.x > INT32_MIN &&
           c.extents.origin.y > INT32_MIN;
  };
  std::vector<std::optional<Rect>> boxes;
  for (auto& c : n.children)
    boxes.push_back(placed(*c) ? std::optional<Rect>(c->extents) : std::nullopt);
  // A filler's content is where its shown children lie, together.
  if (fillers)
    for (std::size_t i = 0; i < n.children.size(); ++i) {
      Node& c = *n.children[i];
      if (!boxes[i] || c.role != ATSPI_ROLE_FILLER || !shown(c, quirks.showing)) continue;
      childrenOf({&c});
      basics(raw(c.children));
      extents(raw(c.children));
      std::optional<Rect> content;
      for (auto& g : c.children) {
        if (!shown(*g, quirks.showing) || !placed(*g) || g->extents.size.width <= 0 ||
            g->extents.size.height <= 0)
          continue;
        if (!content) {
          content = g->extents;
          continue;
        }
        double right = std::max(content->origin.x + content->size.width,
                                g->extents.origin.x + g->extents.size.width);
        double bottom = std::max(content->origin.y + content->size.height,
                                 g->extents.origin.y + g->extents.size.height);
        content->origin.x = std::min(content->origin.x, g->extents.origin.x);
        content->origin.y = std::min(content->origin.y, g->extents.origin.y);
        content->size = {right - content->origin.x, bottom - content->origin.y};
      }
      if (content) boxes[i] = content;
    }
  std::vector<NodePtr> ordered;
  for (std::size_t i : atspi::readingOrder(boxes))
    ordered.push_back(n.children[i]);
  // A Qt overlay lies on top of what it covers whatever the reading order: hit-testing keeps
  // the toolkit's order.
  if (fillers) n.stacked = n.children;
  n.children = std::move(ordered);
}

} // namespace plenk
