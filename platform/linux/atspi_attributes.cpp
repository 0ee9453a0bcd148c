// What an element says, by attribute name: roles, names, texts, labels, values, children.
#include "platform/linux/atspi_impl.hpp"
#include "platform/linux/atspi_text.hpp"

#include <atspi/atspi-constants.h>
#include <limits>

namespace plenk {

// The text content (Text interface), read together with that of the waiting text nodes.
std::string AtspiAccessibility::Impl::nodeText(const NodePtr& n) {
  n->renew(gen);
  if (n->kind == Node::Kind::textLeaf) return n->text;
  // A label's name is its text; an entry's, a terminal's or a paragraph's text is its content.
  if (!n->name.empty() && !atspi::textIsContent(n->role) && n->role != ATSPI_ROLE_TEXT &&
      n->role != ATSPI_ROLE_ENTRY && n->role != ATSPI_ROLE_PASSWORD_TEXT)
    return n->name;
  if (!n->textKnown) {
    n->textKnown = true;
    std::vector<NodePtr> batch{n};
    for (auto& p : takePending(pendingTexts, [](const Node& q) { return q.textKnown; })) {
      if (p->textKnown) continue; // waiting twice
      p->textKnown = true;
      batch.push_back(std::move(p));
    }
    std::vector<Call> calls;
    for (auto& p : batch) {
      Node* raw = p.get();
      // Asked anyway, ATK's bridge answers an empty text and complains in the application's log.
      if (raw->textless) {
        raw->textStatus = AxStatus::ok;
        raw->rawText.clear();
        raw->text.clear();
        continue;
      }
      // GTK 4 clamps an end of -1 ("to the end") to 0, so its entries and labels read empty;
      // it clamps an end past the text to the text's length. Others take -1 as meant.
      gint32 end = toolkitOf(raw->bus).textEndClamped ? std::numeric_limits<gint32>::max() : -1;
      calls.push_back({raw->bus, raw->path, I_TEXT, "GetText", g_variant_new("(ii)", 0, end),
                       [raw](GVariant* r, AxStatus s) {
                         raw->textStatus = s;
                         const gchar* t = nullptr;
                         if (r) g_variant_get(r, "(&s)", &t);
                         raw->rawText = t ? t : "";
                         raw->text = atspi::withoutEmbeds(raw->rawText);
                       }});
    }
    transport.run(calls);
  }
  return n->text;
}

// The attributes (the placeholder), the labelling element and the help text of `n`, all three
// read together with those of the nodes waiting for them.
void AtspiAccessibility::Impl::labelFacts(Node* n, bool wantAttributes) {
  n->renew(gen);
  if (wantAttributes ? n->attributes.has_value() : n->labellingKnown && n->helpKnown) return;
  std::vector<NodePtr> batch{n->shared_from_this()};
  for (auto& p : takePending(pendingLabels, [](const Node& q) {
         return q.attributes.has_value() && q.labellingKnown && q.helpKnown;
       }))
    if (p.get() != n) batch.push_back(std::move(p));
  std::vector<Call> calls;
  for (auto& p : batch) {
    Node* raw = p.get();
    if (!raw->attributes) {
      raw->attributes.emplace();
      calls.push_back({raw->bus, raw->path, I_ACCESSIBLE, "GetAttributes", nullptr,
                       [raw](GVariant* r, AxStatus) {
                         if (!r) return;
                         GVariantIter* it = nullptr;
                         g_variant_get(r, "(a{ss})", &it);
                         const gchar *k = nullptr, *v = nullptr;
                         while (g_variant_iter_next(it, "{&s&s}", &k, &v))
                           (*raw->attributes)[k] = v;
                         g_variant_iter_free(it);
                       }});
    }
    if (!raw->labellingKnown) {
      raw->labellingKnown = true;
      calls.push_back({raw->bus, raw->path, I_ACCESSIBLE, "GetRelationSet", nullptr,
                       [this, raw](GVariant* r, AxStatus) {
                         if (r) raw->labelledBy = labellingTarget(r, raw);
                       }});
    }
    if (!raw->helpKnown) {
      raw->helpKnown = true;
      calls.push_back({raw->bus, raw->path, I_PROPERTIES, "Get",
                       g_variant_new("(ss)", I_ACCESSIBLE, "HelpText"),
                       [raw](GVariant* r, AxStatus) {
                         GVariant* v = nullptr;
                         if (r && g_variant_is_of_type(r, G_VARIANT_TYPE("(v)")))
                           g_variant_get(r, "(v)", &v);
                         if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_STRING))
                           raw->help = g_variant_get_string(v, nullptr);
                         if (v) g_variant_unref(v);
                       }});
    }
  }
  transport.run(calls);
}

// The first target of the labelled-by relation in a GetRelationSet reply.
NodePtr AtspiAccessibility::Impl::labellingTarget(GVariant* reply, Node* n) {
  GVariantIter* relations = nullptr;
  g_variant_get(reply, "(a(ua(so)))", &relations);
  guint32 type = 0;
  GVariantIter* targets = nullptr;
  NodePtr found;
  while (!found && g_variant_iter_next(relations, "(ua(so))", &type, &targets)) {
    const gchar *bus = nullptr, *path = nullptr;
    while (!found && g_variant_iter_next(targets, "(&s&o)", &bus, &path))
      if (type == ATSPI_RELATION_LABELLED_BY && std::string_view(path) != NULL_PATH &&
          !(bus == n->bus && path == n->path))
        found = intern(bus, path, Node::Kind::object);
    g_variant_iter_free(targets);
  }
  g_variant_iter_free(relations);
  if (found && found->window.expired()) found->window = n->window;
  return found;
}

AxResult<AttrValue> AtspiAccessibility::Impl::fail(AxStatus s) {
  return {s == AxStatus::ok ? AxStatus::noValue : s, {}};
}

// Out of line: inlined into its many callers, GCC 12 with the sanitizers reports moves out of
// variants as reads of uninitialised memory.
[[gnu::noinline]] AxResult<AttrValue> AtspiAccessibility::Impl::ok(AttrValue v) {
  return {AxStatus::ok, std::move(v)};
}

AxResult<AttrValue> AtspiAccessibility::Impl::elementOr(const NodePtr& n) {
  if (!n) return {AxStatus::noValue, {}};
  return ok(element(n));
}

AxResult<AttrValue> AtspiAccessibility::Impl::systemWideAttribute(std::string_view name) {
  if (name == "AXRole") return ok(std::string("AXSystemWide"));
  if (name == "AXFocusedApplication") return elementOr(frontApp());
  if (name == "AXFocusedUIElement") {
    NodePtr app = frontApp();
    return app ? elementOr(keyboardFocus(app)) : AxResult<AttrValue>{AxStatus::noValue, {}};
  }
  return {AxStatus::attributeUnsupported, {}};
}

AxResult<AttrValue> AtspiAccessibility::Impl::appAttribute(const NodePtr& app,
                                                           std::string_view name) {
  if (app->bus.empty()) return {AxStatus::invalidElement, {}};
  if (name == "AXRole") return ok(std::string("AXApplication"));
  if (name == "AXFocusedWindow") return elementOr(focusedWindow(app));
  if (name == "AXMainWindow") return elementOr(mainWindow(app));
  if (name == "AXFocusedUIElement") return elementOr(focusedElement(app));
  if (name == "AXMenuBar") return elementOr(menuBar(app));
  if (name == "AXChildren" || name == "AXWindows") {
    auto [status, children] = visibleChildren(app);
    if (status != AxStatus::ok) return fail(status);
    std::vector<Element> out;
    for (auto& c : children)
      out.push_back(element(c));
    return ok(std::move(out));
  }
  return {AxStatus::attributeUnsupported, {}};
}

AxResult<AttrValue> AtspiAccessibility::Impl::objectAttribute(const NodePtr& n,
                                                              std::string_view name) {
  if (n->kind == Node::Kind::textLeaf) {
    if (name == "AXRole") return ok(std::string("AXStaticText"));
    if (name == "AXValue") return ok(nodeText(n));
    if (name == "AXChildren") return ok(std::vector<Element>{});
    if (name == "AXEnabled") return ok(true);
    if (name == "AXPosition" || name == "AXSize") {
      extents(n.get());
      if (n->extentsStatus != AxStatus::ok) return fail(n->extentsStatus);
      if (name == "AXPosition") return ok(n->extents.origin);
      return ok(n->extents.size);
    }
    return {AxStatus::noValue, {}};
  }
  basics(n.get());
  if (n->basicsStatus != AxStatus::ok) return fail(n->basicsStatus);
  auto roleName = atspi::roleName(n->role, n->states, n->parentRole);
  if (name == "AXRole") return ok(std::string(roleName.role));
  if (name == "AXSubrole") {
    if (!roleName.subrole) return {AxStatus::noValue, {}};
    return ok(std::string(*roleName.subrole));
  }
  if (name == "AXTitle") {
    if (n->name.empty()) return {AxStatus::noValue, {}};
    return ok(n->name);
  }
  if (name == "AXDescription") {
    if (n->description.empty()) return {AxStatus::noValue, {}};
    return ok(n->description);
  }
  if (name == "AXEnabled")
    return ok(bool(n->states & (bit(ATSPI_STATE_ENABLED) | bit(ATSPI_STATE_SENSITIVE))));
  if (name == "AXFocused") return ok(bool(n->states & bit(ATSPI_STATE_FOCUSED)));
  if (name == "AXHelp") {
    if (!n->helpKnown) labelFacts(n.get(), false);
    if (n->help.empty()) return {AxStatus::noValue, {}};
    return ok(n->help);
  }
  if (name == "AXTitleUIElement") {
    labelFacts(n.get(), false);
    return elementOr(n->labelledBy);
  }
  if (name == "AXPlaceholderValue") {
    labelFacts(n.get(), true);
    auto at = n->attributes->find("placeholder-text");
    if (at == n->attributes->end() || at->second.empty()) return {AxStatus::noValue, {}};
    return ok(at->second);
  }
  if (name == "AXChildren") {
    auto [status, children] = visibleChildren(n);
    if (status != AxStatus::ok) return fail(status);
    std::vector<Element> out;
    out.reserve(children.size());
    for (auto& c : children)
      out.push_back(element(c));
    return ok(std::move(out));
  }
  if (name == "AXPosition" || name == "AXSize") {
    extents(n.get());
    if (n->extentsStatus != AxStatus::ok) return fail(n->extentsStatus);
    if (name == "AXPosition") return ok(n->extents.origin);
    return ok(n->extents.size);
  }
  if (name == "AXValue") {
    if (n->role == ATSPI_ROLE_PASSWORD_TEXT) return {AxStatus::noValue, {}};
    if (isCheckable(n->role)) return ok(n->states & bit(ATSPI_STATE_CHECKED) ? 1.0 : 0.0);
    if (isValueRole(n->role)) {
      if (!n->valueKnown) {
        n->valueKnown = true;
        transport.runOne({n->bus, n->path, I_PROPERTIES, "Get",
                          g_variant_new("(ss)", I_VALUE, "CurrentValue"),
                          [n](GVariant* r, AxStatus s) {
                            n->valueStatus = s;
                            if (!r) return;
                            GVariant* v = nullptr;
                            g_variant_get(r, "(v)", &v);
                            if (v && g_variant_is_of_type(v, G_VARIANT_TYPE_DOUBLE))
                              n->value = g_variant_get_double(v);
                            else
                              n->valueStatus = AxStatus::noValue;
                            if (v) g_variant_unref(v);
                          }});
      }
      if (n->valueStatus != AxStatus::ok) return fail(n->valueStatus);
      return ok(n->value);
    }
    if (isTextRole(n->role) && n->role != ATSPI_ROLE_HEADING && n->role != ATSPI_ROLE_LIST_ITEM) {
      std::string t = nodeText(n);
      if (n->textKnown && n->textStatus != AxStatus::ok) return fail(n->textStatus);
      return ok(std::move(t));
    }
    return {AxStatus::noValue, {}};
  }
  if (name == "AXParent") return elementOr(n->parent.lock());
  return {AxStatus::attributeUnsupported, {}};
}

} // namespace plenk
