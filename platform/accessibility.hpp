// The accessibility interface of the desktop: trust, elements and their attributes,
// hit-testing, owners and the messaging timeout.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace plenk {

// Screen points in global display coordinates, origin at the top left of the main display.
struct Point {
  double x = 0;
  double y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  Point origin;
  Size size;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Whether two rectangles overlap. Edges that only touch count as overlapping, so a zero-sized
// rectangle inside another overlaps it; negative sizes are measured from the other corner.
inline bool rectsIntersect(const Rect& a, const Rect& b) {
  auto span = [](double at, double length) {
    return length < 0 ? std::pair{at + length, at} : std::pair{at, at + length};
  };
  auto [ax0, ax1] = span(a.origin.x, a.size.width);
  auto [ay0, ay1] = span(a.origin.y, a.size.height);
  auto [bx0, bx1] = span(b.origin.x, b.size.width);
  auto [by0, by1] = span(b.origin.y, b.size.height);
  return std::max(ax0, bx0) <= std::min(ax1, bx1) && std::max(ay0, by0) <= std::min(ay1, by1);
}

// An opaque reference to one accessibility element: the system-wide element, an application
// element, or anything inside an application. The logic only holds, passes back and compares
// these. An implementation hands out one object per element, so two references are equal exactly
// when they name the same element. A reference stays valid while held; the element it names may
// vanish, and then every read on it fails.
class Element {
public:
  Element() = default; // names nothing; never handed out by the seam
  explicit Element(std::shared_ptr<void> ref) : ref_(std::move(ref)) {}

  explicit operator bool() const { return ref_ != nullptr; }
  // For the implementation behind the seam only.
  const std::shared_ptr<void>& ref() const { return ref_; }

  friend bool operator==(const Element& a, const Element& b) { return a.ref_ == b.ref_; }

private:
  std::shared_ptr<void> ref_;
};

// An attribute value of a kind the logic does not read: attributed text, a date, a URL, a list
// of other things. `kind` says which, for people reading logs.
struct OtherValue {
  std::string kind;
  friend bool operator==(const OtherValue&, const OtherValue&) = default;
};

// What an attribute read yields. A number is a double; a boolean is its own kind (a checkbox's
// value of 1 is a number, not a boolean).
using AttrValue =
    std::variant<std::string, bool, double, Element, std::vector<Element>, Point, Size, OtherValue>;

// The status of an accessibility request: `ok` or why it failed.
enum class AxStatus {
  ok,
  failure,              // an unspecified failure
  attributeUnsupported, // the element has no such attribute
  noValue,              // the attribute exists but holds nothing now
  cannotComplete,       // the application did not answer in time (messaging timeout)
  invalidElement,       // the element is gone
  notImplemented,
  apiDisabled, // accessibility is not allowed for this process
};

// The status name as written in logs and scene files ("cannotComplete").
std::string_view axStatusName(AxStatus status);
std::optional<AxStatus> axStatusFromName(std::string_view name);

// A status and, on success, a value or none.
template <class T> struct AxResult {
  AxStatus status = AxStatus::failure;
  std::optional<T> value;
  bool ok() const { return status == AxStatus::ok && value.has_value(); }
};

struct Accessibility {
  virtual ~Accessibility() = default;
  // Whether this process is trusted for accessibility now; never prompts.
  virtual bool isTrusted() = 0;
  // The same, after asking the system to show its prompt when not trusted yet.
  virtual bool isTrustedWithPrompt() = 0;

  // The system-wide element: root of "AXFocusedApplication", "AXFocusedUIElement" and of
  // hit-testing. A new reference each call (equal to the others).
  virtual Element systemWide() = 0;
  // The application element of a process. Never checked: reads on it fail when the process does
  // not answer or does not exist.
  virtual Element application(int pid) = 0;
  // Bounds how long requests to the application of `app` wait before they fail with
  // `cannotComplete`. Set on the system-wide element it becomes the default of every
  // application. The result is of no interest to the logic.
  virtual void setMessagingTimeout(const Element& app, float seconds) = 0;

  // One read of one attribute. Failures are statuses; `ok` may come with no value.
  virtual AxResult<AttrValue> copyAttribute(const Element& element, std::string_view name) = 0;
  // One write of one attribute ("AXManualAccessibility" true, say).
  virtual AxStatus setAttribute(const Element& element, std::string_view name,
                                const AttrValue& value) = 0;

  // The deepest element at a screen point, of whatever application owns it, asked of the
  // system-wide element.
  virtual AxResult<Element> elementAtPosition(const Element& systemWide, float x, float y) = 0;
  // The process identifier of the application that owns the element.
  virtual AxResult<int> pid(const Element& element) = 0;
};

} // namespace plenk

template <> struct std::hash<plenk::Element> {
  std::size_t operator()(const plenk::Element& e) const noexcept {
    return std::hash<const void*>()(e.ref().get());
  }
};
