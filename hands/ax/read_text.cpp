#include "hands/args.hpp"
#include "hands/ax/app_facts.hpp"
#include "hands/ax/browser.hpp"
#include "hands/ax/readers.hpp"
#include "hands/ax/secure.hpp"
#include "hands/ax/walk.hpp"
#include "hands/constants.hpp"
#include "hands/verbs.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <cmath>

namespace plenk::hands {

namespace {

constexpr std::size_t DEFAULT_READ_CHARS = 8000;

bool isTextRole(std::string_view role) {
  return std::find(TEXT_ROLES.begin(), TEXT_ROLES.end(), role) != TEXT_ROLES.end();
}

bool textFromValue(std::string_view role) {
  return role == "AXStaticText" || role == "AXTextArea" || role == "AXTextField";
}

// The element's text: its value for text-holding roles, else its title (even an empty one), else
// its description.
std::string elementText(Accessibility& ax, const Element& element, std::string_view role) {
  if (textFromValue(role)) {
    auto value = axValueText(ax, element);
    if (value && !value->empty()) return std::move(*value);
  }
  if (auto title = axString(ax, element, "AXTitle")) return std::move(*title);
  return axString(ax, element, "AXDescription").value_or("");
}

// The pieces of text in reading order, with a running total of characters (each piece counts one
// more, for the line feed that follows it when joined).
struct Pieces {
  std::vector<std::string> list;
  std::size_t total = 0;
  std::size_t lastCount = 0;
};

void readWindow(Accessibility& ax, const Element& window, const std::optional<Rect>& windowRect,
                std::size_t maxChars, Walk& walk, Pieces& pieces) {
  std::vector<std::pair<Element, int>> stack{{window, 0}};
  while (!stack.empty()) {
    auto [element, depth] = std::move(stack.back());
    stack.pop_back();
    if (walk.visits >= MAX_VISITS || walk.late() || pieces.total >= maxChars) return;

    std::string role = axString(ax, element, "AXRole").value_or("");
    if (isTextRole(role) && !isSecure(ax, element)) {
      bool outside = false;
      if (windowRect)
        if (auto frame = axFrame(ax, element)) outside = !rectsIntersect(*frame, *windowRect);
      if (!outside) {
        std::string piece(text::trim(elementText(ax, element, role)));
        // Only a repeat of the line just before is dropped (a heading and its own text child).
        if (!piece.empty() && (pieces.list.empty() || piece != pieces.list.back())) {
          pieces.lastCount = text::graphemeCount(piece);
          pieces.total += pieces.lastCount + 1;
          pieces.list.push_back(std::move(piece));
        }
      }
    }
    ++walk.visits;

    // Nothing inside a password field is read.
    if (role == "AXSecureTextField") continue;
    if (depth < MAX_DEPTH) {
      auto children = axChildren(ax, element);
      for (auto child = children.rbegin(); child != children.rend(); ++child)
        stack.emplace_back(std::move(*child), depth + 1);
    }
  }
}

} // namespace

Json verbReadText(Hands& hands, const Json& args) {
  auto [app, appElement] = openFrontApp(hands);
  std::size_t maxChars = countArg(args, "max_chars", DEFAULT_READ_CHARS, MAX_READ_CHARS);
  Accessibility& ax = hands.ax;

  Json result = Json::object();
  result["text"] = "";
  result["truncated"] = false;
  auto window = focusedWindow(ax, appElement);
  if (!window) return result;
  waitForPage(hands, *window, app);
  auto windowRect = axFrame(ax, *window);
  // Unlike the elements verb, the page wait is not spent out of the walk's budget.
  Walk walk(hands.clock);
  Pieces pieces;
  readWindow(ax, *window, windowRect, maxChars, walk, pieces);

  // A line feed never joins a grapheme with its neighbours, and pieces are trimmed, so the joined
  // text has exactly total - 1 characters; only the last piece can reach past the cut.
  std::size_t length = pieces.total == 0 ? 0 : pieces.total - 1;
  bool cut = length > maxChars;
  if (cut) {
    std::size_t before = pieces.total - pieces.lastCount - 1;
    pieces.list.back() = text::graphemePrefix(pieces.list.back(), maxChars - before);
  }
  std::string text;
  text.reserve(std::min<std::size_t>(maxChars * 4, pieces.total * 4));
  for (std::size_t i = 0; i < pieces.list.size(); ++i) {
    if (i) text += '\n';
    text += pieces.list[i];
  }
  result["text"] = std::move(text);
  result["truncated"] = cut || walk.exhausted();
  return result;
}

} // namespace plenk::hands
