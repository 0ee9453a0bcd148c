#include "platform/memory/desktop.hpp"

#include "platform/text.hpp"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>

namespace plenk {

struct MemoryDesktop::Node {
  enum class Kind { system, application, element } kind = Kind::element;
  int pid = 0;
  std::string name;
  std::map<std::string, Attr, std::less<>> attrs;
  std::optional<double> latency;
  std::optional<AxStatus> pidStatus;
  bool gone = false;
  std::weak_ptr<Node> parent;
};

namespace {

using Lock = std::unique_lock<std::recursive_mutex>;

std::int64_t toMicros(double seconds) {
  return static_cast<std::int64_t>(std::llround(seconds * 1e6));
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto low = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return low(x) == low(y);
         });
}

std::pair<std::string, std::string> splitPath(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {"", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

MemoryDesktop::MemoryDesktop() : MemoryDesktop(ownClock_) {}

MemoryDesktop::MemoryDesktop(Clock& clock) : clock_(clock) {
  origin_ = clock_.now();
  system_ = newNode(0, "system");
  system_->kind = Node::Kind::system;
  system_->attrs["AXRole"] = Attr{AxStatus::ok, AttrValue{std::string("AXSystemWide")}};
}

MemoryDesktop::~MemoryDesktop() {
  {
    std::lock_guard lock(openMutex_);
    stopping_ = true;
  }
  openCv_.notify_all();
  for (auto& t : openThreads_)
    if (t.joinable()) t.join();
  // Attributes naming elements make cycles (a child's "AXParent", a title element): break them.
  for (auto& node : nodes_)
    node->attrs.clear();
}

double MemoryDesktop::elapsed() {
  return clock_.now() - origin_;
}

// ---- nodes and handles

std::shared_ptr<MemoryDesktop::Node> MemoryDesktop::newNode(int pid, std::string name) {
  auto node = std::make_shared<Node>();
  nodes_.push_back(node);
  node->pid = pid;
  ++serial_;
  // Appended rather than "#" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on the latter.
  node->name = name.empty() ? std::string("#").append(std::to_string(serial_)) : std::move(name);
  return node;
}

Element MemoryDesktop::handle(const std::shared_ptr<Node>& node) {
  return Element(std::static_pointer_cast<void>(node));
}

std::shared_ptr<MemoryDesktop::Node> MemoryDesktop::nodeOf(const Element& element) {
  if (!element) return nullptr;
  return std::static_pointer_cast<Node>(element.ref());
}

std::string MemoryDesktop::nameOf(const Element& element) {
  Lock lock(mutex_);
  auto node = nodeOf(element);
  return node ? node->name : "";
}

void MemoryDesktop::record(std::string op, const Element* element, std::string detail) {
  if (!keepCalls_) return;
  std::string target;
  if (element) {
    auto node = nodeOf(*element);
    target = node ? node->name : "(none)";
  }
  calls_.push_back({std::move(op), std::move(target), std::move(detail), elapsed()});
}

bool MemoryDesktop::appRunning(int pid) {
  return std::any_of(running_.begin(), running_.end(),
                     [pid](const RunningApp& a) { return a.pid == pid; });
}

// ---- building

Element MemoryDesktop::addApp(const RunningApp& app) {
  Lock lock(mutex_);
  auto it = std::find_if(running_.begin(), running_.end(),
                         [&](const RunningApp& a) { return a.pid == app.pid; });
  if (it != running_.end())
    *it = app;
  else
    running_.push_back(app);
  auto node = appNode(app.pid);
  Element element = handle(node);
  node->gone = false;
  node->attrs["AXRole"] = Attr{AxStatus::ok, AttrValue{std::string("AXApplication")}};
  if (app.name) node->attrs["AXTitle"] = Attr{AxStatus::ok, AttrValue{*app.name}};
  return element;
}

void MemoryDesktop::quitApp(int pid) {
  Lock lock(mutex_);
  std::erase_if(running_, [pid](const RunningApp& a) { return a.pid == pid; });
  if (frontmost_ == pid) frontmost_.reset();
}

Element MemoryDesktop::create(int pid, const Attributes& attributes, std::string name) {
  Lock lock(mutex_);
  auto node = newNode(pid, std::move(name));
  for (const auto& [key, value] : attributes)
    node->attrs[key] = Attr{AxStatus::ok, value};
  named_[node->name] = node;
  return handle(node);
}

Element MemoryDesktop::add(const Element& parent, std::string role, const Attributes& attributes,
                           std::string name) {
  Lock lock(mutex_);
  auto parentNode = nodeOf(parent);
  Element element = create(parentNode ? parentNode->pid : 0, attributes, std::move(name));
  if (!role.empty())
    nodeOf(element)->attrs["AXRole"] = Attr{AxStatus::ok, AttrValue{std::move(role)}};
  attach(parent, element);
  return element;
}

void MemoryDesktop::attach(const Element& parent, const Element& child) {
  Lock lock(mutex_);
  auto parentNode = nodeOf(parent);
  auto node = nodeOf(child);
  if (!parentNode || !node) return;
  node->parent = parentNode;
  Attr& children = parentNode->attrs["AXChildren"];
  if (children.status != AxStatus::ok || !children.value ||
      !std::holds_alternative<std::vector<Element>>(*children.value))
    children = Attr{AxStatus::ok, AttrValue{std::vector<Element>{}}};
  std::get<std::vector<Element>>(*children.value).push_back(child);
}

std::optional<Element> MemoryDesktop::find(std::string_view name) {
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

void MemoryDesktop::set(const Element& element, std::string_view attribute, AttrValue value) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element))
    node->attrs[std::string(attribute)] = Attr{AxStatus::ok, std::move(value)};
}

void MemoryDesktop::fail(const Element& element, std::string_view attribute, AxStatus status) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) node->attrs[std::string(attribute)] = Attr{status, std::nullopt};
}

void MemoryDesktop::unset(const Element& element, std::string_view attribute) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) {
    auto it = node->attrs.find(attribute);
    if (it != node->attrs.end()) node->attrs.erase(it);
  }
}

void MemoryDesktop::remove(const Element& element) {
  Lock lock(mutex_);
  auto node = nodeOf(element);
  if (!node) return;
  if (auto parent = node->parent.lock()) {
    auto it = parent->attrs.find("AXChildren");
    if (it != parent->attrs.end() && it->second.value)
      if (auto* list = std::get_if<std::vector<Element>>(&*it->second.value))
        std::erase(*list, element);
  }
  std::vector<std::shared_ptr<Node>> stack{node};
  while (!stack.empty()) {
    auto n = stack.back();
    stack.pop_back();
    if (n->gone) continue;
    n->gone = true;
    auto it = n->attrs.find("AXChildren");
    if (it != n->attrs.end() && it->second.value)
      if (auto* list = std::get_if<std::vector<Element>>(&*it->second.value))
        for (const auto& child : *list)
          if (auto c = nodeOf(child); c && c->parent.lock() == n) stack.push_back(c);
  }
}

void MemoryDesktop::setLatency(const Element& element, double seconds) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) node->latency = seconds;
}

void MemoryDesktop::setAppLatency(int pid, double seconds) {
  Lock lock(mutex_);
  appLatency_[pid] = seconds;
}

void MemoryDesktop::failPid(const Element& element, AxStatus status) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) node->pidStatus = status;
}

void MemoryDesktop::setDefaultTimeout(double seconds) {
  Lock lock(mutex_);
  defaultTimeout_ = seconds;
}

void MemoryDesktop::focus(const Element& element) {
  Lock lock(mutex_);
  if (auto node = nodeOf(element)) {
    auto app = appNode(node->pid);
    app->attrs["AXFocusedUIElement"] = Attr{AxStatus::ok, AttrValue{element}};
  }
}

void MemoryDesktop::setFrontmost(std::optional<int> pid) {
  Lock lock(mutex_);
  frontmost_ = pid;
}

void MemoryDesktop::setActivateAnswer(int pid, bool answer) {
  Lock lock(mutex_);
  activateAnswers_[pid] = answer;
}

void MemoryDesktop::setHitAnswer(Point point, AxResult<Element> answer) {
  Lock lock(mutex_);
  hitAnswers_.push_back(
      {{static_cast<float>(point.x), static_cast<float>(point.y)}, std::move(answer)});
}

void MemoryDesktop::addBundle(const std::string& path, std::optional<std::string> bundleId) {
  Lock lock(mutex_);
  auto it = std::find_if(bundles_.begin(), bundles_.end(),
                         [&](const auto& b) { return b.first == path; });
  if (it != bundles_.end())
    it->second = std::move(bundleId);
  else
    bundles_.emplace_back(path, std::move(bundleId));
  auto [folder, entry] = splitPath(path);
  auto f = folders_.find(folder);
  if (f == folders_.end())
    folders_[folder] = std::vector<std::string>{entry};
  else if (f->second && std::find(f->second->begin(), f->second->end(), entry) == f->second->end())
    f->second->push_back(entry);
}

void MemoryDesktop::setFolder(const std::string& path,
                              std::optional<std::vector<std::string>> entries) {
  Lock lock(mutex_);
  folders_[path] = std::move(entries);
}

void MemoryDesktop::setHome(std::string path) {
  Lock lock(mutex_);
  home_ = std::move(path);
}

void MemoryDesktop::setOpenAnswer(const std::string& bundlePath, OpenAnswer answer) {
  Lock lock(mutex_);
  openAnswers_[bundlePath] = std::move(answer);
}

std::vector<std::string> MemoryDesktop::opened() {
  Lock lock(mutex_);
  return opened_;
}

void MemoryDesktop::refuseSources(bool refuse) {
  Lock lock(mutex_);
  refuseSources_ = refuse;
}

void MemoryDesktop::refuseEventsAfter(std::optional<int> creations) {
  Lock lock(mutex_);
  creationsLeft_ = creations;
}

std::vector<PostedEvent> MemoryDesktop::events() {
  Lock lock(mutex_);
  return events_;
}

void MemoryDesktop::clearEvents() {
  Lock lock(mutex_);
  events_.clear();
}

bool MemoryDesktop::writeEventsTo(const std::string& path) {
  Lock lock(mutex_);
  eventFile_.reset(std::fopen(path.c_str(), "w"));
  return eventFile_ != nullptr;
}

// ---- changes

void MemoryDesktop::at(double seconds, Change change) {
  Lock lock(mutex_);
  due_.emplace_back(seconds, std::move(change));
}

void MemoryDesktop::afterWrite(int pid, std::string attribute, double delay, Change change) {
  Lock lock(mutex_);
  triggers_.push_back(Trigger{Trigger::Kind::write, pid, std::move(attribute), 0, nullptr, delay,
                              std::move(change)});
}

void MemoryDesktop::afterKey(std::uint16_t keyCode, double delay, Change change) {
  Lock lock(mutex_);
  triggers_.push_back(
      Trigger{Trigger::Kind::key, 0, "", keyCode, nullptr, delay, std::move(change)});
}

void MemoryDesktop::afterClick(const Element& element, double delay, Change change) {
  Lock lock(mutex_);
  triggers_.push_back(
      Trigger{Trigger::Kind::click, 0, "", 0, nodeOf(element), delay, std::move(change)});
}

void MemoryDesktop::fire(double delay, Change change) {
  due_.emplace_back(elapsed() + std::max(0.0, delay), std::move(change));
  applyDue();
}

void MemoryDesktop::applyDue() {
  if (applying_) return;
  applying_ = true;
  for (;;) {
    double now = elapsed();
    auto next = due_.end();
    for (auto it = due_.begin(); it != due_.end(); ++it)
      if (it->first <= now && (next == due_.end() || it->first < next->first)) next = it;
    if (next == due_.end()) break;
    Change change = std::move(next->second);
    due_.erase(next);
    change(*this);
  }
  applying_ = false;
}

// ---- what the logic did

std::vector<PlatformCall> MemoryDesktop::calls() {
  Lock lock(mutex_);
  return calls_;
}

int MemoryDesktop::count(std::string_view op, std::optional<std::string_view> detail) {
  Lock lock(mutex_);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const PlatformCall& c) {
    return c.op == op && (!detail || c.detail == *detail);
  }));
}

int MemoryDesktop::reads(const Element& element, std::string_view attribute) {
  Lock lock(mutex_);
  auto node = nodeOf(element);
  std::string name = node ? node->name : "(none)";
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const PlatformCall& c) {
    return c.op == "copyAttribute" && c.target == name && c.detail == attribute;
  }));
}

void MemoryDesktop::clearCalls() {
  Lock lock(mutex_);
  calls_.clear();
}

void MemoryDesktop::keepCalls(bool keep) {
  Lock lock(mutex_);
  keepCalls_ = keep;
  if (!keep) calls_.clear();
}

std::vector<AttributeWrite> MemoryDesktop::writes() {
  Lock lock(mutex_);
  return writes_;
}

std::optional<double> MemoryDesktop::timeoutOf(int pid) {
  Lock lock(mutex_);
  auto it = timeouts_.find(pid);
  if (it == timeouts_.end()) return std::nullopt;
  return it->second;
}

// ---- Accessibility

bool MemoryDesktop::isTrusted() {
  Lock lock(mutex_);
  record("isTrusted", nullptr, "");
  return trusted;
}

bool MemoryDesktop::isTrustedWithPrompt() {
  Lock lock(mutex_);
  record("isTrustedWithPrompt", nullptr, "");
  ++accessibilityPrompts;
  if (!trusted && accessibilityPromptGrants) trusted = true;
  return trusted;
}

Element MemoryDesktop::systemWide() {
  Lock lock(mutex_);
  record("systemWide", nullptr, "");
  return handle(system_);
}

std::shared_ptr<MemoryDesktop::Node> MemoryDesktop::appNode(int pid) {
  auto& node = appNodes_[pid];
  if (!node) {
    node = newNode(pid, "app:" + std::to_string(pid));
    node->kind = Node::Kind::application;
  }
  return node;
}

Element MemoryDesktop::application(int pid) {
  Lock lock(mutex_);
  record("application", nullptr, std::to_string(pid));
  return handle(appNode(pid));
}

double MemoryDesktop::timeoutFor(int pid) {
  auto it = timeouts_.find(pid);
  if (it != timeouts_.end()) return it->second;
  return globalTimeout_.value_or(defaultTimeout_);
}

void MemoryDesktop::setMessagingTimeout(const Element& app, float seconds) {
  Lock lock(mutex_);
  record("setMessagingTimeout", &app, std::to_string(seconds));
  auto node = nodeOf(app);
  if (!node) return;
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

std::optional<MemoryDesktop::Attr> MemoryDesktop::derivedSystemAttr(std::string_view name) {
  if (name == "AXFocusedApplication") {
    if (!frontmost_ || !appRunning(*frontmost_)) return Attr{AxStatus::noValue, std::nullopt};
    auto it = appNodes_.find(*frontmost_);
    if (it == appNodes_.end()) return Attr{AxStatus::noValue, std::nullopt};
    return Attr{AxStatus::ok, AttrValue{handle(it->second)}};
  }
  if (name == "AXFocusedUIElement") {
    if (!frontmost_ || !appRunning(*frontmost_)) return Attr{AxStatus::noValue, std::nullopt};
    auto it = appNodes_.find(*frontmost_);
    if (it == appNodes_.end()) return Attr{AxStatus::noValue, std::nullopt};
    auto a = it->second->attrs.find("AXFocusedUIElement");
    if (a == it->second->attrs.end()) return Attr{AxStatus::noValue, std::nullopt};
    return a->second;
  }
  return std::nullopt;
}

AxResult<AttrValue> MemoryDesktop::copyAttribute(const Element& element, std::string_view name) {
  Lock lock(mutex_);
  applyDue();
  record("copyAttribute", &element, std::string(name));
  if (!trusted) return {AxStatus::apiDisabled, std::nullopt};
  auto node = nodeOf(element);
  if (!node || node->gone) return {AxStatus::invalidElement, std::nullopt};
  if (node->kind != Node::Kind::system && !appRunning(node->pid))
    return {AxStatus::cannotComplete, std::nullopt};

  double latency = 0;
  if (node->latency)
    latency = *node->latency;
  else if (auto it = appLatency_.find(node->pid);
           it != appLatency_.end() && node->kind != Node::Kind::system)
    latency = it->second;
  if (latency > 0) {
    double timeout = timeoutFor(node->pid);
    bool timesOut = latency > timeout;
    lock.unlock();
    clock_.sleepMicros(toMicros(timesOut ? timeout : latency));
    lock.lock();
    applyDue();
    if (timesOut) return {AxStatus::cannotComplete, std::nullopt};
    if (node->gone) return {AxStatus::invalidElement, std::nullopt};
  }

  auto it = node->attrs.find(name);
  if (it != node->attrs.end()) return {it->second.status, it->second.value};
  if (node->kind == Node::Kind::system)
    if (auto derived = derivedSystemAttr(name)) return {derived->status, derived->value};
  return {AxStatus::attributeUnsupported, std::nullopt};
}

AxStatus MemoryDesktop::setAttribute(const Element& element, std::string_view name,
                                     const AttrValue& value) {
  Lock lock(mutex_);
  applyDue();
  record("setAttribute", &element, std::string(name));
  if (!trusted) return AxStatus::apiDisabled;
  auto node = nodeOf(element);
  if (!node || node->gone) return AxStatus::invalidElement;
  if (node->kind != Node::Kind::system && !appRunning(node->pid)) return AxStatus::cannotComplete;
  node->attrs[std::string(name)] = Attr{AxStatus::ok, value};
  writes_.push_back({node->name, std::string(name), value, elapsed()});
  if (node->kind == Node::Kind::application) {
    for (auto it = triggers_.begin(); it != triggers_.end();) {
      if (it->kind == Trigger::Kind::write && it->pid == node->pid && it->attribute == name) {
        Trigger t = std::move(*it);
        it = triggers_.erase(it);
        fire(t.delay, std::move(t.change));
      } else {
        ++it;
      }
    }
  }
  return AxStatus::ok;
}

std::optional<Rect> MemoryDesktop::frameOf(const std::shared_ptr<Node>& node) {
  auto p = node->attrs.find("AXPosition");
  auto s = node->attrs.find("AXSize");
  if (p == node->attrs.end() || s == node->attrs.end()) return std::nullopt;
  if (p->second.status != AxStatus::ok || s->second.status != AxStatus::ok) return std::nullopt;
  const Point* point = p->second.value ? std::get_if<Point>(&*p->second.value) : nullptr;
  const Size* size = s->second.value ? std::get_if<Size>(&*s->second.value) : nullptr;
  if (!point || !size) return std::nullopt;
  return Rect{*point, *size};
}

std::shared_ptr<MemoryDesktop::Node> MemoryDesktop::deepestAt(const std::shared_ptr<Node>& root,
                                                              Point p, int) {
  auto holds = [&](const std::shared_ptr<Node>& n) {
    if (!n || n->gone) return false;
    auto f = frameOf(n);
    return f && p.x >= f->origin.x && p.x < f->origin.x + f->size.width && p.y >= f->origin.y &&
           p.y < f->origin.y + f->size.height;
  };
  auto firstChildHolding = [&](const std::shared_ptr<Node>& n) -> std::shared_ptr<Node> {
    auto it = n->attrs.find("AXChildren");
    if (it == n->attrs.end() || !it->second.value) return nullptr;
    auto* list = std::get_if<std::vector<Element>>(&*it->second.value);
    if (!list) return nullptr;
    for (const auto& child : *list)
      if (auto c = nodeOf(child); holds(c)) return c;
    return nullptr;
  };
  // The application element has no frame of its own: start from its windows.
  std::shared_ptr<Node> current = firstChildHolding(root);
  if (!current) return nullptr;
  while (auto next = firstChildHolding(current))
    current = next;
  return current;
}

std::shared_ptr<MemoryDesktop::Node> MemoryDesktop::hitTest(Point p) {
  std::vector<int> order;
  if (frontmost_ && appRunning(*frontmost_)) order.push_back(*frontmost_);
  for (const auto& app : running_)
    if (!frontmost_ || app.pid != *frontmost_) order.push_back(app.pid);
  for (int pid : order) {
    auto it = appNodes_.find(pid);
    if (it == appNodes_.end() || it->second->gone) continue;
    if (auto hit = deepestAt(it->second, p, 0)) return hit;
  }
  return nullptr;
}

AxResult<Element> MemoryDesktop::elementAtPosition(const Element& systemWide, float x, float y) {
  Lock lock(mutex_);
  applyDue();
  record("elementAtPosition", &systemWide, std::to_string(x) + "," + std::to_string(y));
  if (!trusted) return {AxStatus::apiDisabled, std::nullopt};
  auto node = nodeOf(systemWide);
  if (!node || node->kind != Node::Kind::system) return {AxStatus::failure, std::nullopt};
  for (const auto& [at, answer] : hitAnswers_)
    if (at.first == x && at.second == y) return answer;
  if (auto hit = hitTest({x, y})) return {AxStatus::ok, handle(hit)};
  return {AxStatus::noValue, std::nullopt};
}

AxResult<int> MemoryDesktop::pid(const Element& element) {
  Lock lock(mutex_);
  applyDue();
  record("pid", &element, "");
  auto node = nodeOf(element);
  if (!node || node->gone) return {AxStatus::invalidElement, std::nullopt};
  if (node->pidStatus) return {*node->pidStatus, std::nullopt};
  if (node->kind == Node::Kind::system) return {AxStatus::failure, std::nullopt};
  return {AxStatus::ok, node->pid};
}

// ---- InputEvents

bool MemoryDesktop::screenCaptureAllowed() {
  Lock lock(mutex_);
  record("screenCaptureAllowed", nullptr, "");
  return screenAllowed;
}

bool MemoryDesktop::requestScreenCapture() {
  Lock lock(mutex_);
  record("requestScreenCapture", nullptr, "");
  ++screenPrompts;
  if (!screenAllowed && screenPromptGrants) screenAllowed = true;
  return screenAllowed;
}

std::optional<EventSource> MemoryDesktop::createSource() {
  Lock lock(mutex_);
  record("createSource", nullptr, "");
  if (refuseSources_) return std::nullopt;
  return EventSource{nextSource_++};
}

bool MemoryDesktop::allowCreation() {
  if (!creationsLeft_) return true;
  if (*creationsLeft_ <= 0) return false;
  --*creationsLeft_;
  return true;
}

std::optional<KeyEvent> MemoryDesktop::createKeyEvent(const std::optional<EventSource>& source,
                                                      std::uint16_t keyCode, bool down) {
  Lock lock(mutex_);
  record("createKeyEvent", nullptr, std::to_string(keyCode) + (down ? " down" : " up"));
  if (!allowCreation()) return std::nullopt;
  KeyEvent e;
  e.source = source;
  e.keyCode = keyCode;
  e.down = down;
  return e;
}

std::optional<MouseEvent> MemoryDesktop::createMouseEvent(const std::optional<EventSource>& source,
                                                          MouseEventType type, Point point,
                                                          MouseButton button) {
  Lock lock(mutex_);
  record("createMouseEvent", nullptr, std::string(mouseEventTypeName(type)));
  if (!allowCreation()) return std::nullopt;
  MouseEvent e;
  e.source = source;
  e.type = type;
  e.point = point;
  e.button = button;
  return e;
}

std::optional<ScrollEvent>
MemoryDesktop::createScrollEvent(const std::optional<EventSource>& source, std::int32_t vertical,
                                 std::int32_t horizontal) {
  Lock lock(mutex_);
  record("createScrollEvent", nullptr, std::to_string(vertical) + "," + std::to_string(horizontal));
  if (!allowCreation()) return std::nullopt;
  ScrollEvent e;
  e.source = source;
  e.vertical = vertical;
  e.horizontal = horizontal;
  return e;
}

std::string MemoryDesktop::describe(const std::shared_ptr<Node>& node) {
  if (!node) return "";
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

std::shared_ptr<MemoryDesktop::Node> MemoryDesktop::focusedNode() {
  auto it = system_->attrs.find("AXFocusedUIElement");
  std::optional<Attr> attr;
  if (it != system_->attrs.end())
    attr = it->second;
  else
    attr = derivedSystemAttr("AXFocusedUIElement");
  if (!attr || attr->status != AxStatus::ok || !attr->value) return nullptr;
  auto* e = std::get_if<Element>(&*attr->value);
  return e ? nodeOf(*e) : nullptr;
}

void MemoryDesktop::post(const InputEvent& event) {
  Lock lock(mutex_);
  applyDue();
  PostedEvent posted{elapsed(), event, ""};
  std::vector<Trigger> fired;
  auto take = [&](auto matches) {
    for (auto it = triggers_.begin(); it != triggers_.end();) {
      if (matches(*it)) {
        fired.push_back(std::move(*it));
        it = triggers_.erase(it);
      } else {
        ++it;
      }
    }
  };
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    record("post", nullptr, "key");
    posted.target = describe(focusedNode());
    if (key->down)
      take([&](const Trigger& t) {
        return t.kind == Trigger::Kind::key && t.keyCode == key->keyCode;
      });
  } else if (const auto* mouse = std::get_if<MouseEvent>(&event)) {
    record("post", nullptr, "mouse");
    pointer_ = mouse->point;
    auto hit = hitTest(mouse->point);
    posted.target = describe(hit);
    if (mouse->type == MouseEventType::leftDown || mouse->type == MouseEventType::rightDown) {
      take([&](const Trigger& t) {
        if (t.kind != Trigger::Kind::click) return false;
        for (auto n = hit; n; n = n->parent.lock())
          if (n == t.element) return true;
        return false;
      });
    }
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    record("post", nullptr, "scroll");
    if (scroll->location) pointer_ = *scroll->location;
    posted.target = describe(hitTest(pointer_));
  }
  events_.push_back(posted);
  if (eventFile_) {
    std::string line = eventLine(posted) + "\n";
    std::fwrite(line.data(), 1, line.size(), eventFile_.get());
    std::fflush(eventFile_.get());
  }
  for (auto& t : fired)
    fire(t.delay, std::move(t.change));
}

std::string MemoryDesktop::eventLine(const PostedEvent& posted) {
  nlohmann::ordered_json j;
  j["t_ms"] = static_cast<double>(toMicros(posted.at)) / 1000.0;
  auto source = [](const std::optional<EventSource>& s) {
    return s ? nlohmann::ordered_json(s->id) : nlohmann::ordered_json(nullptr);
  };
  if (const auto* key = std::get_if<KeyEvent>(&posted.event)) {
    j["kind"] = "key";
    j["code"] = key->keyCode;
    j["down"] = key->down;
    j["flags"] = key->flags;
    if (!key->text.empty()) {
      j["text"] = text::fromUtf16(key->text);
      j["units"] = std::vector<int>(key->text.begin(), key->text.end());
    }
    j["source"] = source(key->source);
  } else if (const auto* mouse = std::get_if<MouseEvent>(&posted.event)) {
    j["kind"] = "mouse";
    j["type"] = mouseEventTypeName(mouse->type);
    j["x"] = mouse->point.x;
    j["y"] = mouse->point.y;
    j["button"] = mouse->button == MouseButton::left ? "left" : "right";
    j["click"] = mouse->clickState;
    j["flags"] = mouse->flags;
    j["source"] = source(mouse->source);
  } else if (const auto* scroll = std::get_if<ScrollEvent>(&posted.event)) {
    j["kind"] = "scroll";
    j["dy"] = scroll->vertical;
    j["dx"] = scroll->horizontal;
    if (scroll->location) {
      j["x"] = scroll->location->x;
      j["y"] = scroll->location->y;
    }
    j["flags"] = scroll->flags;
    j["source"] = source(scroll->source);
  }
  if (!posted.target.empty()) j["target"] = posted.target;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// ---- Workspace

std::vector<RunningApp> MemoryDesktop::runningApplications() {
  Lock lock(mutex_);
  applyDue();
  record("runningApplications", nullptr, "");
  return running_;
}

std::optional<RunningApp> MemoryDesktop::frontmostApplication() {
  Lock lock(mutex_);
  applyDue();
  record("frontmostApplication", nullptr, "");
  if (!frontmost_) return std::nullopt;
  for (const auto& app : running_)
    if (app.pid == *frontmost_) return app;
  return std::nullopt;
}

std::optional<RunningApp> MemoryDesktop::runningApplication(int pid) {
  Lock lock(mutex_);
  applyDue();
  record("runningApplication", nullptr, std::to_string(pid));
  for (const auto& app : running_)
    if (app.pid == pid) return app;
  return std::nullopt;
}

bool MemoryDesktop::activate(int pid) {
  Lock lock(mutex_);
  applyDue();
  record("activate", nullptr, std::to_string(pid));
  if (!appRunning(pid)) return false;
  auto it = activateAnswers_.find(pid);
  bool answer = it == activateAnswers_.end() || it->second;
  if (answer) frontmost_ = pid;
  return answer;
}

RunningApp MemoryDesktop::launchedFrom(const std::string& bundlePath) {
  for (const auto& app : running_)
    if (app.bundlePath == bundlePath) return app;
  RunningApp app;
  while (appRunning(nextPid_))
    ++nextPid_;
  app.pid = nextPid_++;
  std::string file = splitPath(bundlePath).second;
  if (file.size() > 4 && file.ends_with(".app")) file.resize(file.size() - 4);
  app.name = file;
  for (const auto& [path, id] : bundles_)
    if (path == bundlePath) app.bundleId = id;
  app.bundlePath = bundlePath;
  return app;
}

void MemoryDesktop::openApplication(const std::string& bundlePath, const OpenConfiguration& config,
                                    OpenHandler handler) {
  Lock lock(mutex_);
  applyDue();
  record("openApplication", nullptr, bundlePath);
  opened_.push_back(bundlePath);
  OpenAnswer answer;
  if (auto it = openAnswers_.find(bundlePath); it != openAnswers_.end())
    answer = it->second;
  else
    answer.app = launchedFrom(bundlePath);
  bool activates = config.activates;
  // What the desktop does when the answer comes: the application runs (and is in front).
  OpenHandler deliverTo = [this, activates, handler = std::move(handler)](
                              std::optional<RunningApp> app, std::optional<std::string> error) {
    if (app) {
      Lock l(mutex_);
      if (!appRunning(app->pid)) addApp(*app);
      if (activates) frontmost_ = app->pid;
    }
    handler(std::move(app), std::move(error));
  };
  PendingOpen open{answer, std::move(deliverTo)};
  if (answer.held)
    heldOpens_.push_back(std::move(open));
  else
    deliver(std::move(open));
}

void MemoryDesktop::deliver(PendingOpen open) {
  std::lock_guard guard(openMutex_);
  ++inFlight_;
  openThreads_.emplace_back([this, open = std::move(open)]() mutable {
    {
      std::unique_lock wait(openMutex_);
      auto delay = std::chrono::microseconds(toMicros(open.answer.delaySeconds));
      openCv_.wait_for(wait, delay, [this] { return stopping_; });
      if (stopping_) {
        --inFlight_;
        openCv_.notify_all();
        return;
      }
    }
    open.handler(open.answer.app, open.answer.error);
    std::lock_guard done(openMutex_);
    --inFlight_;
    openCv_.notify_all();
  });
}

void MemoryDesktop::deliverHeldOpens() {
  std::vector<PendingOpen> held;
  {
    Lock lock(mutex_);
    held.swap(heldOpens_);
  }
  for (auto& open : held) {
    open.answer.delaySeconds = 0;
    deliver(std::move(open));
  }
}

void MemoryDesktop::waitForOpens() {
  std::unique_lock wait(openMutex_);
  openCv_.wait(wait, [this] { return inFlight_ == 0; });
}

std::optional<std::string> MemoryDesktop::applicationPathForBundleId(const std::string& bundleId) {
  Lock lock(mutex_);
  record("applicationPathForBundleId", nullptr, bundleId);
  for (const auto& [path, id] : bundles_)
    if (id && equalsIgnoringAsciiCase(*id, bundleId)) return path;
  return std::nullopt;
}

std::optional<std::string> MemoryDesktop::bundleIdentifier(const std::string& bundlePath) {
  Lock lock(mutex_);
  record("bundleIdentifier", nullptr, bundlePath);
  for (const auto& [path, id] : bundles_)
    if (path == bundlePath) return id;
  return std::nullopt;
}

std::optional<std::vector<std::string>>
MemoryDesktop::contentsOfDirectory(const std::string& path) {
  Lock lock(mutex_);
  record("contentsOfDirectory", nullptr, path);
  auto it = folders_.find(path);
  if (it == folders_.end()) return std::nullopt;
  return it->second;
}

std::string MemoryDesktop::homeDirectory() {
  Lock lock(mutex_);
  record("homeDirectory", nullptr, "");
  return home_;
}

} // namespace plenk
