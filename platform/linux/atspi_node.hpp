// An accessible as the AT-SPI backend holds it during a request (the facts read of it so far),
// and what its role and states say.
#pragma once

#include "platform/accessibility.hpp"
#include "platform/linux/atspi_roles.hpp"

#include <atspi/atspi-constants.h>
#include <cstdint>
#include <gio/gio.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::atspi {

inline constexpr std::uint64_t bit(AtspiStateType s) {
  return atspi::STATE_BIT(static_cast<int>(s));
}

using NodePtr = std::shared_ptr<struct Node>;

struct Node : std::enable_shared_from_this<Node> {
  enum class Kind { systemWide, app, object, textLeaf };
  Kind kind = Kind::object;
  std::string bus, path;
  std::weak_ptr<Node> parent; // the node whose children hold this one
  std::weak_ptr<Node> window; // the top-level window it lies in
  unsigned gen = 0;

  bool basicsKnown = false;
  AxStatus basicsStatus = AxStatus::ok;
  std::uint32_t role = 0;
  std::uint32_t parentRole = 0;
  std::uint64_t states = 0;
  std::string name, description, help;
  bool helpKnown = false;   // the toolkit's cache has no help text: read it when it is asked for
  bool factsQueued = false; // waiting in the queues of the look ahead
  int childCount = -1;
  std::optional<std::map<std::string, std::string>> attributes;

  // What labels it when nothing of its own does: read only for nodes that may need it.
  bool labellingKnown = false;
  NodePtr labelledBy;

  bool childrenKnown = false;
  bool childrenOrdered = false; // in reading order (see inReadingOrder)
  AxStatus childrenStatus = AxStatus::ok;
  std::int64_t childrenAt = 0; // when they were read (microseconds, monotonic)
  std::vector<NodePtr> children;
  // The children as the toolkit lists them, bottom to top, where reading order differs from what
  // lies on top of what (see inReadingOrder); empty where `children` says both.
  std::vector<NodePtr> stacked;

  bool extentsKnown = false;
  AxStatus extentsStatus = AxStatus::ok;
  Rect extents;

  bool textless = false; // its toolkit's cache says it has no Text interface
  bool textKnown = false;
  AxStatus textStatus = AxStatus::ok;
  std::string text;

  bool valueKnown = false;
  AxStatus valueStatus = AxStatus::ok;
  double value = 0;

  // The text children made up for an element whose own text is its content: the pieces of its
  // text between its children (a paragraph's words around a link).
  bool leavesKnown = false;
  std::vector<NodePtr> leaves;
  std::string rawText; // the text with the embedded-object characters that stand for children

  // Facts last one request: a new request reads everything again.
  void renew(unsigned g) {
    if (gen == g) return;
    gen = g;
    basicsKnown = childrenKnown = childrenOrdered = extentsKnown = textKnown = valueKnown = false;
    labellingKnown = helpKnown = factsQueued = false;
    labelledBy.reset();
    textless = false;
    attributes.reset();
    children.clear();
    stacked.clear();
    leaves.clear();
    leavesKnown = false;
    childCount = -1;
  }
};

std::string mappedRole(const Node& n);
bool isWindowRole(std::uint32_t role);
bool isTextRole(std::uint32_t role);
// Controls that are one thing to the user: their own labels and parts are not elements of their
// own (GTK 4 puts a label inside every button).
bool isAtomic(std::uint32_t role);
// Where hit-testing stops descending: what a pointer acts on as a whole.
bool stopsHitTest(std::uint32_t role);
// Whether an element is on screen, for a toolkit that sets the showing state (`reports`) or one
// that sets none. An element not read yet, or unreadable, is not taken for hidden.
bool shown(const Node& n, bool reports);
bool isValueRole(std::uint32_t role);
bool isCheckable(std::uint32_t role);
// Roles whose elements the readers ask for rectangles, texts and labels; the look ahead reads
// those facts for them only.
bool isCandidate(const Node& n);
// GTK 4 names a widget without a label after its class ("GtkEntry"): that is no name.
bool isClassName(const std::string& name);
std::string_view trimmed(std::string_view s);
bool isBlank(const std::string& s);
// The state set as AT-SPI sends it (an array of 32-bit words); words past the second name no
// state and are left out.
std::uint64_t stateBits(GVariant* words);

} // namespace plenk::atspi
