#include "hands/ax/capture.hpp"

#include "hands/access.hpp"
#include "hands/ax/app_facts.hpp"
#include "hands/ax/browser.hpp"
#include "hands/ax/readers.hpp"
#include "hands/ax/walk.hpp"
#include "hands/constants.hpp"
#include "hands/error.hpp"
#include "platform/redact.hpp"
#include "platform/text.hpp"

#include <algorithm>
#include <array>
#include <unordered_map>

namespace plenk::hands {

namespace {

constexpr std::string_view SECURE_ROLE = "AXSecureTextField";
// The attributes of an application element that the verbs read.
constexpr std::array<std::string_view, 6> APP_ATTRIBUTES{
    "AXRole", "AXTitle", "AXFocusedWindow", "AXMainWindow", "AXMenuBar", "AXFocusedUIElement"};
// The attributes whose strings are what the screen says (roles are not).
constexpr std::array<std::string_view, 5> TEXT_ATTRIBUTES{"AXTitle", "AXValue", "AXDescription",
                                                          "AXHelp", "AXPlaceholderValue"};
// References the verbs follow out of the tree.
constexpr std::array<std::string_view, 5> REFERENCES{"AXFocusedWindow", "AXMainWindow", "AXMenuBar",
                                                     "AXFocusedUIElement", "AXTitleUIElement"};

using Reads = std::vector<std::pair<std::string, AxResult<AttrValue>>>;

struct Node {
  Element element;
  Reads reads;
  std::vector<std::size_t> kids; // written inside it
  bool read = false;
  bool placed = false;
};

bool blank(const std::optional<std::string>& s) {
  return !s || text::trim(*s).empty();
}

class Capturer {
public:
  Capturer(Hands& hands, bool redact) : hands_(hands), ax_(hands.ax), redact_(redact) {}

  std::optional<SnapshotElement> app(const RunningApp& app, std::vector<std::string>& cuts) {
    nodes_.clear();
    index_.clear();
    failures_ = 0;
    std::vector<std::string> notes;
    Element root = applicationElement(ax_, app.pid);
    wakeAccessibility(ax_, root, app);
    auto focused = focusedWindow(ax_, root);
    if (focused) waitForPage(hands_, *focused, app);

    std::size_t r = node(root);
    nodes_[r].read = nodes_[r].placed = true;
    for (std::string_view name : APP_ATTRIBUTES)
      keep(r, name);
    auto windows = children(r);

    // The focused window has a walk's whole budget, as the verbs walk it; the others share one.
    if (focused) {
      Walk walk(hands_.clock);
      if (auto cut = tree(r, *focused, walk)) notes.push_back("focused window: " + *cut);
    }
    Walk others(hands_.clock);
    for (const Element& w : windows) {
      if (focused && w == *focused) continue;
      if (others.exhausted()) {
        shallow(r, w);
        continue;
      }
      if (auto cut = tree(r, w, others)) notes.push_back("other windows: " + *cut);
    }
    // The menu bar and its items, which the elements verb lists before the window.
    if (auto bar = reference(r, "AXMenuBar")) {
      std::size_t b = shallow(r, *bar);
      for (const Element& item : children(b))
        shallow(b, item);
    }
    // What the verbs reach through references but the walks did not.
    for (std::size_t i = 0; i < nodes_.size() && i < MAX_VISITS * 2; ++i)
      for (std::string_view name : REFERENCES)
        if (auto target = reference(i, name); target && !index_.contains(*target))
          shallow(r, *target);

    if (failures_ > 0)
      notes.push_back("the application did not answer " + std::to_string(failures_) + " reads");
    if (!notes.empty()) {
      std::string note;
      for (const auto& n : notes)
        note += (note.empty() ? "" : "; ") + n;
      nodes_[r].reads.emplace_back(std::string(CAPTURE_CUT),
                                   AxResult<AttrValue>{AxStatus::ok, AttrValue{note}});
      cuts.push_back(app.name.value_or("") + " (" + std::to_string(app.pid) + "): " + note);
    }
    return build(r);
  }

private:
  std::size_t node(const Element& e) {
    auto [it, added] = index_.emplace(e, nodes_.size());
    if (added) nodes_.push_back({e, {}, {}, false, false});
    return it->second;
  }

  // One read, kept unless it found nothing (both read as absent).
  std::optional<AttrValue> keep(std::size_t n, std::string_view name) {
    auto result = ax_.copyAttribute(nodes_[n].element, name);
    if (result.status == AxStatus::noValue || result.status == AxStatus::attributeUnsupported)
      return std::nullopt;
    if (result.status == AxStatus::cannotComplete) ++failures_;
    if (redact_ && result.ok())
      if (auto* s = std::get_if<std::string>(&*result.value);
          s &&
          std::find(TEXT_ATTRIBUTES.begin(), TEXT_ATTRIBUTES.end(), name) != TEXT_ATTRIBUTES.end())
        *s = text::redact(*s);
    nodes_[n].reads.emplace_back(std::string(name), result);
    return result.ok() ? result.value : std::nullopt;
  }

  std::optional<std::string> keepString(std::size_t n, std::string_view name) {
    auto v = keep(n, name);
    if (auto* s = v ? std::get_if<std::string>(&*v) : nullptr) return *s;
    return std::nullopt;
  }

  std::optional<Element> reference(std::size_t n, std::string_view name) {
    for (const auto& [attribute, result] : nodes_[n].reads)
      if (attribute == name && result.ok())
        if (const auto* e = std::get_if<Element>(&*result.value); e && *e) return *e;
    return std::nullopt;
  }

  std::vector<Element> children(std::size_t n) {
    auto v = keep(n, "AXChildren");
    auto* list = v ? std::get_if<std::vector<Element>>(&*v) : nullptr;
    return list ? *list : std::vector<Element>{};
  }

  // Every attribute the verbs read of an element (the labels only as far as labelOf goes);
  // whether it is a password field.
  bool attributes(std::size_t n) {
    Node& self = nodes_[n];
    if (self.read) {
      for (const auto& [name, result] : self.reads)
        if ((name == "AXRole" || name == "AXSubrole") && result.ok() &&
            *result.value == AttrValue{std::string(SECURE_ROLE)})
          return true;
      return false;
    }
    self.read = true;
    auto role = keepString(n, "AXRole");
    auto subrole = keepString(n, "AXSubrole");
    bool secure = role == SECURE_ROLE || subrole == SECURE_ROLE;
    auto title = keepString(n, "AXTitle");
    auto description = keepString(n, "AXDescription");
    auto help = keepString(n, "AXHelp");
    if (blank(title) && blank(description)) {
      auto placeholder = keepString(n, "AXPlaceholderValue");
      if (blank(placeholder) && blank(help)) keep(n, "AXTitleUIElement");
    }
    // A password field's value is never read.
    if (!secure) keep(n, "AXValue");
    keep(n, "AXEnabled");
    keep(n, "AXPosition");
    keep(n, "AXSize");
    return secure;
  }

  void place(std::size_t parent, std::size_t n) {
    if (nodes_[n].placed) return;
    nodes_[n].placed = true;
    nodes_[parent].kids.push_back(n);
  }

  // An element without what lies inside it.
  std::size_t shallow(std::size_t parent, const Element& e) {
    std::size_t n = node(e);
    attributes(n);
    place(parent, n);
    return n;
  }

  // Depth first in document order as the walk goes; why it stopped short, if it did.
  std::optional<std::string> tree(std::size_t parent, const Element& top, Walk& walk) {
    std::vector<std::tuple<std::size_t, Element, int>> stack{{parent, top, 0}};
    bool deep = false;
    while (!stack.empty()) {
      auto [from, element, depth] = std::move(stack.back());
      stack.pop_back();
      if (walk.visits >= MAX_VISITS || walk.late()) {
        std::string why = walk.late()
                              ? "the walk's " + numberText(WALK_SECONDS) + " s ran out"
                              : "the walk's " + std::to_string(MAX_VISITS) + " elements were read";
        return why + " with " + std::to_string(stack.size() + 1) + " known elements left unread";
      }
      ++walk.visits;
      std::size_t n = node(element);
      bool again = nodes_[n].placed;
      bool secure = attributes(n);
      place(from, n);
      // Nothing inside a password field is read; an element met twice is entered once.
      if (secure || again) continue;
      if (depth >= MAX_DEPTH) {
        deep = true;
        continue;
      }
      auto kids = children(n);
      for (auto child = kids.rbegin(); child != kids.rend(); ++child)
        stack.emplace_back(n, std::move(*child), depth + 1);
    }
    if (deep) return "elements " + std::to_string(MAX_DEPTH) + " levels down were not entered";
    return std::nullopt;
  }

  SnapshotElement build(std::size_t n) {
    SnapshotElement out{nodes_[n].element, std::move(nodes_[n].reads), {}};
    out.children.reserve(nodes_[n].kids.size());
    for (std::size_t k : nodes_[n].kids)
      out.children.push_back(build(k));
    return out;
  }

  Hands& hands_;
  Accessibility& ax_;
  bool redact_;
  std::vector<Node> nodes_;
  std::unordered_map<Element, std::size_t> index_;
  int failures_ = 0;
};

bool chosen(const RunningApp& app, const CaptureOptions& options, std::optional<int> front) {
  switch (options.apps) {
  case CaptureOptions::Apps::all:
    return true;
  case CaptureOptions::Apps::front:
    return front == app.pid;
  case CaptureOptions::Apps::named: {
    std::string wanted = text::lower(text::trim(options.name));
    return text::lower(app.name.value_or("")) == wanted ||
           text::lower(app.bundleId.value_or("")) == wanted;
  }
  }
  return false;
}

} // namespace

Capture captureDesktop(Hands& hands, const CaptureOptions& options) {
  requireAccessibility(hands);
  Capture capture;
  DesktopSnapshot& s = capture.snapshot;
  s.trusted = true;
  auto front = frontmostApp(hands);
  if (front) s.frontmost = front->pid;
  std::vector<RunningApp> running = hands.workspace.runningApplications();
  if (front && std::none_of(running.begin(), running.end(),
                            [&](const RunningApp& a) { return a.pid == front->pid; }))
    running.push_back(*front);
  bool any = false;
  Capturer capturer(hands, options.redact);
  for (const RunningApp& app : running) {
    SnapshotApp entry{app, std::nullopt};
    if (chosen(app, options, s.frontmost)) {
      any = true;
      entry.tree = capturer.app(app, capture.cuts);
    }
    s.apps.push_back(std::move(entry));
  }
  if (options.apps == CaptureOptions::Apps::named && !any)
    throw HandsError{"not_found", "No running app is called " + options.name + "."};

  // The installed applications, as resolution searches them.
  std::string home = hands.workspace.homeDirectory();
  s.home = options.redact ? "/home/user" : home;
  for (const std::string& dir : appDirsFor(home)) {
    auto entries = hands.workspace.contentsOfDirectory(dir);
    std::string written = dir;
    if (options.redact && written.starts_with(home + "/"))
      written = s.home + written.substr(home.size());
    s.folders.emplace_back(written, entries);
    for (const auto& entry : entries.value_or(std::vector<std::string>{}))
      if (auto id = hands.workspace.bundleIdentifier(dir + "/" + entry))
        s.bundles.emplace_back(written + "/" + entry, *id);
  }
  return capture;
}

} // namespace plenk::hands
