// Building the in-memory accessibility tree.
#include "platform/memory/accessibility_node.hpp"

#include <charconv>

namespace plenk {

using Lock = std::lock_guard<std::mutex>;

MemoryAccessibility::MemoryAccessibility(CallLog& log, Scheduler& scheduler,
                                         MemoryWorkspace& workspace)
    : log_(log), scheduler_(scheduler), workspace_(workspace) {
  system_ = newNode(0, "system");
  system_->kind = Node::Kind::system;
  system_->attrs["AXRole"] = Attr{AxStatus::ok, AttrValue{std::string("AXSystemWide")}};
}

MemoryAccessibility::~MemoryAccessibility() {
  // Attributes naming elements make cycles (a child's "AXParent", a title element): break them.
  for (auto& node : nodes_)
    node->attrs.clear();
}

MemoryAccessibility::NodePtr MemoryAccessibility::nodeOf(const Element& element) {
  if (!element) return nullptr;
  return std::static_pointer_cast<Node>(element.ref());
}

Element MemoryAccessibility::handle(const NodePtr& node) {
  return Element(std::static_pointer_cast<void>(node));
}

MemoryAccessibility::NodePtr MemoryAccessibility::newNode(int pid, std::string name) {
  auto node = std::make_shared<Node>();
  nodes_.push_back(node);
  node->pid = pid;
  ++serial_;
  // Appended rather than "#" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on the latter.
  node->name = name.empty() ? std::string("#").append(std::to_string(serial_)) : std::move(name);
  return node;
}

MemoryAccessibility::NodePtr MemoryAccessibility::appNode(int pid) {
  auto& node = appNodes_[pid];
  if (!node) {
    node = newNode(pid, "app:" + std::to_string(pid));
    node->kind = Node::Kind::application;
  }
  return node;
}

std::string MemoryAccessibility::nameOf(const Element& element) {
  auto node = nodeOf(element);
  return node ? node->name : "";
}

Element MemoryAccessibility::addAppElement(int pid, const std::optional<std::string>& title) {
  Lock lock(mutex_);
  auto node = appNode(pid);
  node->gone = false;
  node->attrs["AXRole"] = Attr{AxStatus::ok, AttrValue{std::string("AXApplication")}};
  if (title) node->attrs["AXTitle"] = Attr{AxStatus::ok, AttrValue{*title}};
  return handle(node);
}

Element MemoryAccessibility::createLocked(int pid, const Attributes& attributes, std::string name) {
  auto node = newNode(pid, std::move(name));
  for (const auto& [key, value] : attributes)
    node->attrs[key] = Attr{AxStatus::ok, value};
  named_[node->name] = node;
  return handle(node);
}

Element MemoryAccessibility::create(int pid, const Attributes& attributes, std::string name) {
  Lock lock(mutex_);
  return createLocked(pid, attributes, std::move(name));
}

Element MemoryAccessibility::add(const Element& parent, std::string role,
                                 const Attributes& attributes, std::string name) {
  Lock lock(mutex_);
  auto parentNode = nodeOf(parent);
  Element element = createLocked(parentNode ? parentNode->pid : 0, attributes, std::move(name));
  if (!role.empty())
    nodeOf(element)->attrs["AXRole"] = Attr{AxStatus::ok, AttrValue{std::move(role)}};
  attachLocked(parentNode, element);
  return element;
}

void MemoryAccessibility::attachLocked(const NodePtr& parent, const Element& child) {
  auto node = nodeOf(child);
  if (!parent || !node) return;
  node->parent = parent;
  Attr& children = parent->attrs["AXChildren"];
  if (children.status != AxStatus::ok || !children.value ||
      !std::holds_alternative<std::vector<Element>>(*children.value))
    children = Attr{AxStatus::ok, AttrValue{std::vector<Element>{}}};
  std::get<std::vector<Element>>(*children.value).push_back(child);
}

void MemoryAccessibility::attach(const Element& parent, const Element& child) {
  Lock lock(mutex_);
  attachLocked(nodeOf(parent), child);
}

std::optional<Element> MemoryAccessibility::find(std::string_view name) {
  Lock lock(mutex_);
  if (name == "system") return handle(system_);
  if (name.starts_with("app:")) {
    int pid = 0;
    auto digits = name.substr(4);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return handle(appNode(pid));
  }
  auto it = named_.find(name);
  if (it == named_.end()) return std::nullopt;
  return handle(it->second);
}

void MemoryAccessibility::set(const Element& element, std::string_view attribute, AttrValue value) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element))
    node->attrs[std::string(attribute)] = Attr{AxStatus::ok, std::move(value)};
}

void MemoryAccessibility::fail(const Element& element, std::string_view attribute,
                               AxStatus status) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) node->attrs[std::string(attribute)] = Attr{status, std::nullopt};
}

void MemoryAccessibility::unset(const Element& element, std::string_view attribute) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) {
    auto it = node->attrs.find(attribute);
    if (it != node->attrs.end()) node->attrs.erase(it);
  }
}

void MemoryAccessibility::remove(const Element& element) {
  Lock lock(mutex_);
  auto node = nodeOf(element);
  if (!node) return;
  if (auto parent = node->parent.lock()) {
    auto it = parent->attrs.find("AXChildren");
    if (it != parent->attrs.end() && it->second.value)
      if (auto* list = std::get_if<std::vector<Element>>(&*it->second.value))
        std::erase(*list, element);
  }
  std::vector<NodePtr> stack{node};
  while (!stack.empty()) {
    auto n = stack.back();
    stack.pop_back();
    if (n->gone) continue;
    n->gone = true;
    if (const auto* list = n->children())
      for (const auto& child : *list)
        if (auto c = nodeOf(child); c && c->parent.lock() == n) stack.push_back(c);
  }
}

void MemoryAccessibility::setLatency(const Element& element, double seconds) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) node->latency = seconds;
}

void MemoryAccessibility::setAppLatency(int pid, double seconds) {
  Lock lock(mutex_);
  appLatency_[pid] = seconds;
}

void MemoryAccessibility::failPid(const Element& element, AxStatus status) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) node->pidStatus = status;
}

void MemoryAccessibility::setDefaultTimeout(double seconds) {
  Lock lock(mutex_);
  defaultTimeout_ = seconds;
}

void MemoryAccessibility::focus(const Element& element) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element))
    appNode(node->pid)->attrs["AXFocusedUIElement"] = Attr{AxStatus::ok, AttrValue{element}};
}

void MemoryAccessibility::setHitAnswer(Point point, AxResult<Element> answer) {
  Lock lock(mutex_);
  hitAnswers_.push_back(
      {{static_cast<float>(point.x), static_cast<float>(point.y)}, std::move(answer)});
}

std::vector<AttributeWrite> MemoryAccessibility::writes() {
  Lock lock(mutex_);
  return writes_;
}

int MemoryAccessibility::reads(const Element& element, std::string_view attribute) {
  auto node = nodeOf(element);
  return log_.count("copyAttribute", node ? node->name : "(none)", attribute);
}

std::optional<double> MemoryAccessibility::timeoutOf(int pid) {
  Lock lock(mutex_);
  auto it = timeouts_.find(pid);
  if (it == timeouts_.end()) return std::nullopt;
  return it->second;
}

} // namespace plenk
