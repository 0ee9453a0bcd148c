#include "hands/ax/walk.hpp"

#include "hands/ax/describe.hpp"
#include "hands/ax/readers.hpp"
#include "hands/constants.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace plenk::hands {

namespace {

std::int64_t microsOf(double seconds) {
  return std::llround(seconds * 1e6);
}

bool hasNonEmptyValue(const Json& record) {
  auto value = record.find("value");
  return value != record.end() && value->is_string() &&
         !value->get_ref<const std::string&>().empty();
}

} // namespace

Walk::Walk(Clock& c) : clock(c), deadlineMicros(microsOf(c.now() + WALK_SECONDS)) {}

bool Walk::late() const {
  return microsOf(clock.now()) > deadlineMicros;
}

bool Walk::exhausted() const {
  return visits >= MAX_VISITS || late();
}

bool isInteractiveRole(std::string_view role) {
  return std::find(INTERACTIVE_ROLES.begin(), INTERACTIVE_ROLES.end(), role) !=
         INTERACTIVE_ROLES.end();
}

bool listable(const Rect& frame, double minHeight) {
  return std::isfinite(frame.origin.x) && std::isfinite(frame.origin.y) &&
         std::isfinite(frame.size.width) && std::isfinite(frame.size.height) &&
         frame.size.width >= 1 && frame.size.height >= minHeight;
}

void collect(Accessibility& ax, const Element& root, const std::optional<Rect>& clipRect,
             const std::optional<Element>& focused, Walk& walk, std::vector<Json>& interactive,
             std::vector<Json>& texts) {
  std::vector<std::pair<Element, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [element, depth] = std::move(stack.back());
    stack.pop_back();
    if (walk.visits >= MAX_VISITS || walk.late() ||
        interactive.size() >= static_cast<std::size_t>(MAX_ELEMENTS))
      return;
    ++walk.visits;

    std::string role = axString(ax, element, "AXRole").value_or("");
    bool isInteractive = isInteractiveRole(role);
    bool isText = role == "AXStaticText";
    if (isInteractive || isText) {
      auto frame = axFrame(ax, element);
      bool listed =
          frame && listable(*frame, 1) && (!clipRect || rectsIntersect(*frame, *clipRect));
      // A text list already full keeps nothing more; no need to describe what would be dropped.
      if (listed && isText && texts.size() >= static_cast<std::size_t>(MAX_ELEMENTS))
        listed = false;
      if (listed) {
        Json record = describe(ax, element, role, *frame, focused);
        if (isInteractive) {
          interactive.push_back(std::move(record));
        } else if (hasNonEmptyValue(record)) {
          if (record["label"].get_ref<const std::string&>().empty())
            record["label"] = record["value"];
          texts.push_back(std::move(record));
        }
      }
    }

    if (role == "AXMenu" && clipRect) continue; // an open menu is not part of the window's face
    if (depth < MAX_DEPTH) {
      auto children = axChildren(ax, element);
      for (auto child = children.rbegin(); child != children.rend(); ++child)
        stack.emplace_back(std::move(*child), depth + 1);
    }
  }
}

} // namespace plenk::hands
