// The in-memory accessibility tree: applications' element trees with their attributes, the
// system-wide element, hit-testing, slow reads and messaging timeouts. Which applications run and
// which one is in front comes from the workspace it is given.
//
// Time: a read with a latency sleeps on the log's clock (a virtual clock advances at once); a
// read slower than the application's messaging timeout fails with cannotComplete once the
// timeout has passed.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/memory/call_log.hpp"
#include "platform/memory/scheduler.hpp"
#include "platform/memory/workspace.hpp"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plenk {

// One attribute write the logic made.
struct AttributeWrite {
  std::string target; // element name as in PlatformCall
  std::string name;
  AttrValue value;
  double at = 0;
};

// An attribute list for building elements: {{"AXTitle", std::string("Save")}, ...}.
using Attributes = std::vector<std::pair<std::string, AttrValue>>;

class MemoryAccessibility : public Accessibility {
public:
  MemoryAccessibility(CallLog& log, Scheduler& scheduler, MemoryWorkspace& workspace);
  ~MemoryAccessibility() override;
  MemoryAccessibility(const MemoryAccessibility&) = delete;
  MemoryAccessibility& operator=(const MemoryAccessibility&) = delete;

  // ---- permissions
  std::atomic<bool> trusted{false};
  // Whether the user grants the permission when prompted, and how often the prompt was asked for.
  std::atomic<bool> accessibilityPromptGrants{false};
  std::atomic<int> accessibilityPrompts{0};

  // ---- building
  // The application element of pid ("AXRole" "AXApplication", its name as "AXTitle"), readable
  // again after a quit.
  Element addAppElement(int pid, const std::optional<std::string>& title);
  // A new element of the parent's application, appended to the parent's "AXChildren", with
  // "AXRole" set (when not empty) and the given attributes. `name` names it in the call log and
  // for find(); "" gives "#<serial>".
  Element add(const Element& parent, std::string role, const Attributes& attributes = {},
              std::string name = "");
  // Appends an element to the parent's "AXChildren" (it may have been attached nowhere before).
  void attach(const Element& parent, const Element& child);
  // A new element of an application, attached nowhere.
  Element create(int pid, const Attributes& attributes = {}, std::string name = "");
  // The element a name was given to ("system" and "app:<pid>" name the system-wide and
  // application elements), or none.
  std::optional<Element> find(std::string_view name);
  // The name of an element as the logs show it.
  std::string nameOf(const Element& element);

  void set(const Element& element, std::string_view attribute, AttrValue value);
  // Reads of the attribute fail with this status (ok: succeed with no value).
  void fail(const Element& element, std::string_view attribute, AxStatus status);
  // Reads of the attribute give attributeUnsupported.
  void unset(const Element& element, std::string_view attribute);
  // The element vanishes with everything below it: reads give invalidElement; it leaves its
  // parent's "AXChildren".
  void remove(const Element& element);
  // Seconds each read of this element takes, or of every element of an application (an element's
  // own latency wins).
  void setLatency(const Element& element, double seconds);
  void setAppLatency(int pid, double seconds);
  // The owner pid reads of this element fail with `status`.
  void failPid(const Element& element, AxStatus status);
  // The messaging timeout an application gets until the logic sets one.
  void setDefaultTimeout(double seconds);
  // Keyboard focus: the element becomes its application's "AXFocusedUIElement". Unless set
  // explicitly on the system-wide element, "AXFocusedApplication" is the frontmost application's
  // element and "AXFocusedUIElement" that application's focused element.
  void focus(const Element& element);
  // Hit-testing answers this for exactly this point (after narrowing to float) instead of
  // searching; otherwise the deepest element whose frame holds the point, searched in the
  // frontmost application first, then in the others in running order, children in order.
  void setHitAnswer(Point point, AxResult<Element> answer);

  // ---- what the logic did
  std::vector<AttributeWrite> writes();
  // Reads of one attribute of one element.
  int reads(const Element& element, std::string_view attribute);
  // The messaging timeout set for an application, or none.
  std::optional<double> timeoutOf(int pid);

  // ---- for the input fake, without a call in the log
  // The element under the point, then each of its parents up to its application; or nothing.
  std::vector<Element> hitAndParents(Point point);
  // The focused element, as "AXFocusedUIElement" of the system-wide element reads.
  std::optional<Element> focused();
  // An element's name, role and title as the event log shows them ("save AXButton \"Save\"").
  std::string describe(const std::optional<Element>& element);

  // ---- Accessibility
  bool isTrusted() override;
  bool isTrustedWithPrompt() override;
  Element systemWide() override;
  Element application(int pid) override;
  void setMessagingTimeout(const Element& app, float seconds) override;
  AxResult<AttrValue> copyAttribute(const Element& element, std::string_view name) override;
  AxStatus setAttribute(const Element& element, std::string_view name,
                        const AttrValue& value) override;
  AxResult<Element> elementAtPosition(const Element& systemWide, float x, float y) override;
  AxResult<int> pid(const Element& element) override;

  struct Node; // one element

private:
  struct Attr {
    AxStatus status = AxStatus::ok;
    std::optional<AttrValue> value;
  };
  using NodePtr = std::shared_ptr<Node>;

  static NodePtr nodeOf(const Element& element);
  static Element handle(const NodePtr& node);
  NodePtr newNode(int pid, std::string name);
  NodePtr appNode(int pid);
  Element createLocked(int pid, const Attributes& attributes, std::string name);
  void attachLocked(const NodePtr& parent, const Element& child);
  void record(std::string op, const Element& element, std::string detail);
  bool live(const NodePtr& node);
  double timeoutFor(int pid);
  double latencyOf(const NodePtr& node);
  std::optional<Attr> derivedSystemAttr(std::string_view name);
  std::optional<Element> focusedLocked();
  NodePtr hitTest(Point p);

  CallLog& log_;
  Scheduler& scheduler_;
  MemoryWorkspace& workspace_;

  std::mutex mutex_;
  std::uint64_t serial_ = 0;
  std::vector<NodePtr> nodes_; // every node made, so that cycles can be broken
  NodePtr system_;
  std::map<int, NodePtr> appNodes_;
  std::map<std::string, NodePtr, std::less<>> named_;
  std::map<int, double> appLatency_;
  std::map<int, double> timeouts_;
  std::optional<double> globalTimeout_;
  double defaultTimeout_ = 6.0;
  std::vector<std::pair<std::pair<float, float>, AxResult<Element>>> hitAnswers_;
  std::vector<AttributeWrite> writes_;
};

} // namespace plenk
