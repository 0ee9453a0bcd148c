// What the logic reads and writes through the in-memory accessibility tree.
#include "platform/memory/accessibility_node.hpp"

#include <cmath>

namespace plenk {

using Lock = std::unique_lock<std::mutex>;

void MemoryAccessibility::record(std::string op, const Element& element, std::string detail) {
  auto node = nodeOf(element);
  log_.record(std::move(op), node ? node->name : "(none)", std::move(detail));
}

// Whether reads of the node can be answered: it exists and its application runs.
bool MemoryAccessibility::live(const NodePtr& node) {
  return node->kind == Node::Kind::system || workspace_.isRunning(node->pid);
}

bool MemoryAccessibility::isTrusted() {
  log_.record("isTrusted", "", "");
  return trusted;
}

bool MemoryAccessibility::isTrustedWithPrompt() {
  log_.record("isTrustedWithPrompt", "", "");
  ++accessibilityPrompts;
  if (!trusted && accessibilityPromptGrants) trusted = true;
  return trusted;
}

Element MemoryAccessibility::systemWide() {
  log_.record("systemWide", "", "");
  return handle(system_);
}

Element MemoryAccessibility::application(int pid) {
  log_.record("application", "", std::to_string(pid));
  Lock lock(mutex_);
  return handle(appNode(pid));
}

double MemoryAccessibility::timeoutFor(int pid) {
  auto it = timeouts_.find(pid);
  if (it != timeouts_.end()) return it->second;
  return globalTimeout_.value_or(defaultTimeout_);
}

void MemoryAccessibility::setMessagingTimeout(const Element& app, float seconds) {
  record("setMessagingTimeout", app, std::to_string(seconds));
  auto node = nodeOf(app);
  if (!node) return;
  Lock lock(mutex_);
  // Zero or less restores the default, as on the desktop.
  if (node->kind == Node::Kind::system) {
    if (seconds > 0)
      globalTimeout_ = seconds;
    else
      globalTimeout_.reset();
  } else if (seconds > 0) {
    timeouts_[node->pid] = seconds;
  } else {
    timeouts_.erase(node->pid);
  }
}

std::optional<MemoryAccessibility::Attr>
MemoryAccessibility::derivedSystemAttr(std::string_view name) {
  if (name != "AXFocusedApplication" && name != "AXFocusedUIElement") return std::nullopt;
  auto front = workspace_.front();
  auto it = front ? appNodes_.find(*front) : appNodes_.end();
  if (it == appNodes_.end()) return Attr{AxStatus::noValue, std::nullopt};
  if (name == "AXFocusedApplication") return Attr{AxStatus::ok, AttrValue{handle(it->second)}};
  auto a = it->second->attrs.find("AXFocusedUIElement");
  if (a == it->second->attrs.end()) return Attr{AxStatus::noValue, std::nullopt};
  return a->second;
}

double MemoryAccessibility::latencyOf(const NodePtr& node) {
  if (node->latency) return *node->latency;
  if (node->kind == Node::Kind::system) return 0;
  auto it = appLatency_.find(node->pid);
  return it == appLatency_.end() ? 0 : it->second;
}

AxResult<AttrValue> MemoryAccessibility::copyAttribute(const Element& element,
                                                       std::string_view name) {
  scheduler_.applyDue();
  record("copyAttribute", element, std::string(name));
  if (!trusted) return {AxStatus::apiDisabled, std::nullopt};
  auto node = nodeOf(element);
  Lock lock(mutex_);
  if (!node || node->gone) return {AxStatus::invalidElement, std::nullopt};
  if (!live(node)) return {AxStatus::cannotComplete, std::nullopt};

  if (double latency = latencyOf(node); latency > 0) {
    double timeout = timeoutFor(node->pid);
    bool timesOut = latency > timeout;
    lock.unlock();
    log_.clock().sleepMicros(std::llround((timesOut ? timeout : latency) * 1e6));
    scheduler_.applyDue();
    lock.lock();
    if (timesOut) return {AxStatus::cannotComplete, std::nullopt};
    if (node->gone) return {AxStatus::invalidElement, std::nullopt};
  }

  auto it = node->attrs.find(name);
  if (it != node->attrs.end()) return {it->second.status, it->second.value};
  if (node->kind == Node::Kind::system)
    if (auto derived = derivedSystemAttr(name)) return {derived->status, derived->value};
  return {AxStatus::attributeUnsupported, std::nullopt};
}

AxStatus MemoryAccessibility::setAttribute(const Element& element, std::string_view name,
                                           const AttrValue& value) {
  scheduler_.applyDue();
  record("setAttribute", element, std::string(name));
  if (!trusted) return AxStatus::apiDisabled;
  auto node = nodeOf(element);
  {
    Lock lock(mutex_);
    if (!node || node->gone) return AxStatus::invalidElement;
    if (!live(node)) return AxStatus::cannotComplete;
    node->attrs[std::string(name)] = Attr{AxStatus::ok, value};
    if (log_.keeping()) writes_.push_back({node->name, std::string(name), value, log_.elapsed()});
  }
  if (node->kind == Node::Kind::application) scheduler_.wrote(node->pid, name);
  return AxStatus::ok;
}

// ---- hit-testing

namespace {

std::optional<Rect> frameOf(const MemoryAccessibility::Node& node) {
  auto p = node.attrs.find("AXPosition");
  auto s = node.attrs.find("AXSize");
  if (p == node.attrs.end() || s == node.attrs.end()) return std::nullopt;
  if (p->second.status != AxStatus::ok || s->second.status != AxStatus::ok) return std::nullopt;
  const Point* point = p->second.value ? std::get_if<Point>(&*p->second.value) : nullptr;
  const Size* size = s->second.value ? std::get_if<Size>(&*s->second.value) : nullptr;
  if (!point || !size) return std::nullopt;
  return Rect{*point, *size};
}

// The deepest element under p below root: the first child holding p, level by level.
std::shared_ptr<MemoryAccessibility::Node>
deepestAt(const std::shared_ptr<MemoryAccessibility::Node>& root, Point p) {
  using NodePtr = std::shared_ptr<MemoryAccessibility::Node>;
  auto holds = [&](const NodePtr& n) {
    if (!n || n->gone) return false;
    auto f = frameOf(*n);
    return f && p.x >= f->origin.x && p.x < f->origin.x + f->size.width && p.y >= f->origin.y &&
           p.y < f->origin.y + f->size.height;
  };
  auto firstChildHolding = [&](const NodePtr& n) -> NodePtr {
    if (const auto* list = n->children())
      for (const auto& child : *list)
        if (auto c = std::static_pointer_cast<MemoryAccessibility::Node>(child.ref()); holds(c))
          return c;
    return nullptr;
  };
  // The application element has no frame of its own: start from its windows.
  NodePtr current = firstChildHolding(root);
  if (!current) return nullptr;
  while (auto next = firstChildHolding(current))
    current = next;
  return current;
}

} // namespace

MemoryAccessibility::NodePtr MemoryAccessibility::hitTest(Point p) {
  for (int pid : workspace_.frontToBack()) {
    auto it = appNodes_.find(pid);
    if (it == appNodes_.end() || it->second->gone) continue;
    if (auto hit = deepestAt(it->second, p)) return hit;
  }
  return nullptr;
}

AxResult<Element> MemoryAccessibility::elementAtPosition(const Element& systemWide, float x,
                                                         float y) {
  scheduler_.applyDue();
  record("elementAtPosition", systemWide, std::to_string(x) + "," + std::to_string(y));
  if (!trusted) return {AxStatus::apiDisabled, std::nullopt};
  auto node = nodeOf(systemWide);
  if (!node || node->kind != Node::Kind::system) return {AxStatus::failure, std::nullopt};
  Lock lock(mutex_);
  for (const auto& [at, answer] : hitAnswers_)
    if (at.first == x && at.second == y) return answer;
  if (auto hit = hitTest({x, y})) return {AxStatus::ok, handle(hit)};
  return {AxStatus::noValue, std::nullopt};
}

AxResult<int> MemoryAccessibility::pid(const Element& element) {
  scheduler_.applyDue();
  record("pid", element, "");
  auto node = nodeOf(element);
  Lock lock(mutex_);
  if (!node || node->gone) return {AxStatus::invalidElement, std::nullopt};
  if (node->pidStatus) return {*node->pidStatus, std::nullopt};
  if (node->kind == Node::Kind::system) return {AxStatus::failure, std::nullopt};
  return {AxStatus::ok, node->pid};
}

// ---- for the input fake

std::vector<Element> MemoryAccessibility::hitAndParents(Point point) {
  Lock lock(mutex_);
  std::vector<Element> chain;
  for (auto n = hitTest(point); n; n = n->parent.lock())
    chain.push_back(handle(n));
  return chain;
}

std::optional<Element> MemoryAccessibility::focusedLocked() {
  auto it = system_->attrs.find("AXFocusedUIElement");
  std::optional<Attr> attr;
  if (it != system_->attrs.end())
    attr = it->second;
  else
    attr = derivedSystemAttr("AXFocusedUIElement");
  if (!attr || attr->status != AxStatus::ok || !attr->value) return std::nullopt;
  const auto* e = std::get_if<Element>(&*attr->value);
  if (!e || !*e) return std::nullopt;
  return *e;
}

std::optional<Element> MemoryAccessibility::focused() {
  Lock lock(mutex_);
  return focusedLocked();
}

std::string MemoryAccessibility::describe(const std::optional<Element>& element) {
  auto node = element ? nodeOf(*element) : nullptr;
  if (!node) return "";
  Lock lock(mutex_);
  std::string out = node->name;
  auto text = [&](std::string_view attr) -> std::string {
    auto it = node->attrs.find(attr);
    if (it == node->attrs.end() || !it->second.value) return "";
    auto* s = std::get_if<std::string>(&*it->second.value);
    return s ? *s : "";
  };
  if (auto role = text("AXRole"); !role.empty()) out += " " + role;
  if (auto title = text("AXTitle"); !title.empty()) out += " \"" + title + "\"";
  return out;
}

} // namespace plenk
