#include "platform/linux/atspi.hpp"

#include "platform/linux/atspi_impl.hpp"
#include "platform/linux/gnome_shell.hpp"
#include "platform/linux/session.hpp"

#include <cmath>

namespace plenk {

AtspiAccessibility::AtspiAccessibility() : impl_(std::make_unique<Impl>()) {}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::isTrusted() {
  // On GNOME the screen is read through the shell's window list as well (our extension).
  return impl_->transport.trusted() &&
         (currentSession() != SessionKind::gnome || gnome::windowsReadable(false));
}

bool AtspiAccessibility::isTrustedWithPrompt() {
  // What the desktop's accessibility switch does: the session's status says enabled. The screen
  // reader setting is never touched (it starts a talking screen reader).
  if (impl_->transport.statusEnabled() == false) impl_->transport.setStatusEnabled();
  // Asking for accessibility on GNOME installs and enables the extension that lists the windows.
  bool windows = currentSession() != SessionKind::gnome || gnome::windowsReadable(true);
  return impl_->transport.trusted() && windows;
}

Element AtspiAccessibility::systemWide() {
  // Each request begins at the system-wide or an application element: facts read before are
  // forgotten.
  impl_->newRequest();
  if (!impl_->systemWideNode) {
    impl_->systemWideNode = std::make_shared<Node>();
    impl_->systemWideNode->kind = Node::Kind::systemWide;
  }
  return Impl::element(impl_->systemWideNode);
}

Element AtspiAccessibility::application(int pid) {
  impl_->newRequest();
  if (NodePtr app = impl_->appForPid(pid)) return Impl::element(app);
  // No such application on the bus: an element whose every read fails.
  return Impl::element(impl_->intern("", "pid:" + std::to_string(pid), Node::Kind::app));
}

void AtspiAccessibility::setMessagingTimeout(const Element& app, float seconds) {
  if (!app) return;
  int ms = std::isfinite(seconds) && seconds > 0 ? static_cast<int>(std::lround(seconds * 1000))
                                                 : DEFAULT_TIMEOUT_MS;
  Node& n = Impl::of(app);
  // The system-wide element is no application: its reads go to the front one, with its timeout.
  if (n.kind != Node::Kind::systemWide && !n.bus.empty())
    impl_->transport.facts(n.bus).timeoutMs = ms;
}

AxResult<AttrValue> AtspiAccessibility::copyAttribute(const Element& element,
                                                      std::string_view name) {
  if (!element) return {AxStatus::invalidElement, {}};
  NodePtr n = Impl::ptr(element);
  switch (n->kind) {
  case Node::Kind::systemWide:
    return impl_->systemWideAttribute(name);
  case Node::Kind::app:
    return impl_->appAttribute(n, name);
  default:
    return impl_->objectAttribute(n, name);
  }
}

AxStatus AtspiAccessibility::setAttribute(const Element& element, std::string_view name,
                                          const AttrValue& value) {
  if (!element || Impl::of(element).kind != Node::Kind::app) return AxStatus::failure;
  if (name != "AXManualAccessibility" && name != "AXEnhancedUserInterface")
    return AxStatus::attributeUnsupported;
  if (value != AttrValue{true}) return AxStatus::ok;
  return impl_->wake(Impl::ptr(element));
}

AxResult<Element> AtspiAccessibility::elementAtPosition(const Element& systemWide, float x,
                                                        float y) {
  if (!systemWide || Impl::of(systemWide).kind != Node::Kind::systemWide)
    return {AxStatus::failure, {}};
  return impl_->hitTest(x, y);
}

AxResult<int> AtspiAccessibility::pid(const Element& element) {
  if (!element) return {AxStatus::invalidElement, {}};
  Node& n = Impl::of(element);
  if (n.kind == Node::Kind::systemWide || n.bus.empty()) return {AxStatus::failure, {}};
  int pid = impl_->transport.pidOfBus(n.bus);
  if (pid <= 0) return {AxStatus::invalidElement, {}};
  return {AxStatus::ok, pid};
}

AtspiCounters AtspiAccessibility::counters() const {
  return impl_->transport.counters;
}

} // namespace plenk
