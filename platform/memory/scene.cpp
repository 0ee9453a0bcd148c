#include "platform/memory/scene.hpp"

#include <array>
#include <cmath>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace plenk {

namespace {

using Json = nlohmann::json;

// Scenes describe desktops, not stress tests of the loader.
constexpr std::size_t MAX_ELEMENTS = 1'000'000;
constexpr int MAX_NESTING = 200;

struct SceneError {
  std::string message;
};

[[noreturn]] void refuse(const std::string& path, const std::string& what) {
  throw SceneError{path.empty() ? what : path + ": " + what};
}

std::string at(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}
std::string at(const std::string& path, std::size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

const Json& object(const Json& v, const std::string& path) {
  if (!v.is_object()) refuse(path, "expected an object");
  return v;
}
const Json& array(const Json& v, const std::string& path) {
  if (!v.is_array()) refuse(path, "expected an array");
  return v;
}
std::string string(const Json& v, const std::string& path) {
  if (!v.is_string()) refuse(path, "expected a string");
  return v.get<std::string>();
}
std::optional<std::string> stringOrNull(const Json& v, const std::string& path) {
  if (v.is_null()) return std::nullopt;
  return string(v, path);
}
bool boolean(const Json& v, const std::string& path) {
  if (!v.is_boolean()) refuse(path, "expected true or false");
  return v.get<bool>();
}
double number(const Json& v, const std::string& path) {
  if (!v.is_number()) refuse(path, "expected a number");
  return v.get<double>();
}
double milliseconds(const Json& v, const std::string& path) {
  double ms = number(v, path);
  if (!(ms >= 0) || ms > 1e9) refuse(path, "expected milliseconds from 0 to 1000000000");
  return ms / 1000.0;
}
long long whole(const Json& v, const std::string& path, long long lo, long long hi) {
  if (!v.is_number()) refuse(path, "expected a whole number");
  double d = v.get<double>();
  if (d != std::floor(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi))
    refuse(path,
           "expected a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
  return static_cast<long long>(d);
}
int pidOf(const Json& v, const std::string& path) {
  return static_cast<int>(whole(v, path, 0, std::numeric_limits<std::int32_t>::max()));
}
std::pair<double, double> pair(const Json& v, const std::string& path, const char* expected) {
  if (!v.is_array() || v.size() != 2 || !v[0].is_number() || !v[1].is_number())
    refuse(path, std::string("expected ") + expected);
  return {v[0].get<double>(), v[1].get<double>()};
}
void onlyKeys(const Json& obj, const std::string& path,
              std::initializer_list<std::string_view> keys) {
  for (auto it = obj.begin(); it != obj.end(); ++it)
    if (std::find(keys.begin(), keys.end(), it.key()) == keys.end())
      refuse(at(path, it.key()), "unknown key");
}

AxStatus status(const Json& v, const std::string& path) {
  if (v.is_string())
    if (auto s = axStatusFromName(v.get<std::string>()); s && *s != AxStatus::ok) return *s;
  refuse(path, "expected a failure status: failure, attributeUnsupported, noValue, "
               "cannotComplete, invalidElement, notImplemented or apiDisabled");
}

// Attributes whose plain JSON values name elements, lists of elements, a point or a size.
const std::set<std::string, std::less<>> ELEMENT_ATTRIBUTES{
    "AXTitleUIElement", "AXFocusedWindow",    "AXMainWindow",
    "AXMenuBar",        "AXFocusedUIElement", "AXFocusedApplication",
    "AXParent",         "AXWindow",           "AXTopLevelUIElement"};
const std::set<std::string, std::less<>> LIST_ATTRIBUTES{
    "AXChildren",         "AXWindows", "AXVisibleChildren",
    "AXSelectedChildren", "AXRows",    "AXLinkedUIElements"};

// Keys of an element object that stand for attributes.
const std::array<std::pair<std::string_view, std::string_view>, 8> SHORTHANDS{{
    {"role", "AXRole"},
    {"subrole", "AXSubrole"},
    {"title", "AXTitle"},
    {"value", "AXValue"},
    {"description", "AXDescription"},
    {"placeholder", "AXPlaceholderValue"},
    {"help", "AXHelp"},
    {"enabled", "AXEnabled"},
}};

// "{i}" in every string of a template becomes the copy's number.
Json substitute(const Json& v, const std::string& number) {
  if (v.is_string()) {
    std::string s = v.get<std::string>();
    for (std::size_t pos = s.find("{i}"); pos != std::string::npos; pos = s.find("{i}", pos)) {
      s.replace(pos, 3, number);
      pos += number.size();
    }
    return s;
  }
  if (v.is_array()) {
    Json out = Json::array();
    for (const auto& item : v)
      out.push_back(substitute(item, number));
    return out;
  }
  if (v.is_object()) {
    Json out = Json::object();
    for (auto it = v.begin(); it != v.end(); ++it)
      out[it.key()] = substitute(it.value(), number);
    return out;
  }
  return v;
}

// Moves every frame and position of an element tree by (dx, dy); malformed ones are left for the
// element's own checks.
void shift(Json& element, double dx, double dy) {
  if (!element.is_object()) return;
  if (auto f = element.find("frame"); f != element.end() && f->is_array() && f->size() == 4 &&
                                      (*f)[0].is_number() && (*f)[1].is_number()) {
    (*f)[0] = (*f)[0].get<double>() + dx;
    (*f)[1] = (*f)[1].get<double>() + dy;
  }
  if (auto p = element.find("AXPosition"); p != element.end() && p->is_array() && p->size() == 2 &&
                                           (*p)[0].is_number() && (*p)[1].is_number()) {
    (*p)[0] = (*p)[0].get<double>() + dx;
    (*p)[1] = (*p)[1].get<double>() + dy;
  }
  if (auto c = element.find("children"); c != element.end() && c->is_array())
    for (auto& child : *c) {
      if (child.is_object() && child.contains("element"))
        shift(child["element"], dx, dy);
      else
        shift(child, dx, dy);
    }
}

// The element a resolved reference holds.
Element elementIn(const std::optional<AttrValue>& value) {
  const Element* e = value ? std::get_if<Element>(&*value) : nullptr;
  return e ? *e : Element{};
}

class Loader {
public:
  explicit Loader(MemoryDesktop& desk) : desk_(desk) {}

  void load(const Json& root, Scene& scene, const std::string& folder) {
    object(root, "");
    onlyKeys(root, "",
             {"permissions", "clock", "event_log", "input", "timeout_ms", "apps", "frontmost",
              "system", "focus", "hits", "home", "folders", "bundles", "open", "changes"});
    if (auto p = root.find("permissions"); p != root.end()) permissions(*p, "permissions");
    if (auto c = root.find("clock"); c != root.end()) {
      std::string clock = string(*c, "clock");
      if (clock != "virtual" && clock != "real")
        refuse("clock", "expected \"virtual\" or \"real\"");
      scene.realClock = clock == "real";
    }
    if (auto e = root.find("event_log"); e != root.end()) {
      std::string file = string(*e, "event_log");
      if (file.empty()) refuse("event_log", "expected a file name");
      scene.eventLog = file.front() == '/' || folder.empty() ? file : folder + "/" + file;
    }
    if (auto i = root.find("input"); i != root.end()) input(*i, "input");
    if (auto t = root.find("timeout_ms"); t != root.end())
      desk_.setDefaultTimeout(milliseconds(*t, "timeout_ms"));
    if (auto a = root.find("apps"); a != root.end()) {
      array(*a, "apps");
      for (std::size_t i = 0; i < a->size(); ++i)
        app((*a)[i], at("apps", i), true);
    }
    // The first application is in front unless the scene says otherwise.
    if (auto f = root.find("frontmost"); f != root.end())
      desk_.setFrontmost(f->is_null() ? std::nullopt : std::optional<int>(pidOf(*f, "frontmost")));
    else
      desk_.setFrontmost(firstPid_);
    if (auto s = root.find("system"); s != root.end())
      attributes(*desk_.find("system"), object(*s, "system"), "system", false);
    if (auto h = root.find("home"); h != root.end()) desk_.setHome(string(*h, "home"));
    if (auto f = root.find("folders"); f != root.end()) folders(*f, "folders");
    if (auto b = root.find("bundles"); b != root.end()) bundles(*b, "bundles");
    if (auto o = root.find("open"); o != root.end()) opens(*o, "open");
    if (auto c = root.find("changes"); c != root.end()) changes(*c, "changes");
    resolveReferences();
    // Needs every element: after the references.
    if (auto f = root.find("focus"); f != root.end()) desk_.focus(element(*f, "focus"));
    if (auto h = root.find("hits"); h != root.end()) hits(*h, "hits");
    desk_.clearCalls();
  }

private:
  // An attribute value whose element references are resolved once every element exists.
  struct Pending {
    Json spec; // a name, or an array of names
    bool list = false;
    std::string path;
    std::function<void(AxStatus, std::optional<AttrValue>)> assign;
  };

  void permissions(const Json& v, const std::string& path) {
    object(v, path);
    onlyKeys(v, path,
             {"accessibility", "screen", "accessibility_prompt_grants", "screen_prompt_grants"});
    auto flag = [&](const char* key, std::atomic<bool>& out) {
      if (auto it = v.find(key); it != v.end()) out = boolean(*it, at(path, key));
    };
    flag("accessibility", desk_.trusted);
    flag("screen", desk_.screenAllowed);
    flag("accessibility_prompt_grants", desk_.accessibilityPromptGrants);
    flag("screen_prompt_grants", desk_.screenPromptGrants);
  }

  void input(const Json& v, const std::string& path) {
    object(v, path);
    onlyKeys(v, path, {"sources", "refuse_after"});
    if (auto s = v.find("sources"); s != v.end())
      desk_.refuseSources(!boolean(*s, at(path, "sources")));
    if (auto r = v.find("refuse_after"); r != v.end())
      desk_.refuseEventsAfter(static_cast<int>(whole(*r, at(path, "refuse_after"), 0, 1'000'000)));
  }

  RunningApp runningApp(const Json& v, const std::string& path) {
    RunningApp app;
    if (!v.contains("pid")) refuse(path, "an app needs a pid");
    app.pid = pidOf(v["pid"], at(path, "pid"));
    if (auto n = v.find("name"); n != v.end()) app.name = stringOrNull(*n, at(path, "name"));
    if (auto b = v.find("bundle_id"); b != v.end())
      app.bundleId = stringOrNull(*b, at(path, "bundle_id"));
    if (auto b = v.find("bundle_path"); b != v.end())
      app.bundlePath = stringOrNull(*b, at(path, "bundle_path"));
    if (auto p = v.find("policy"); p != v.end()) {
      std::string policy = string(*p, at(path, "policy"));
      if (policy == "regular")
        app.policy = ActivationPolicy::regular;
      else if (policy == "accessory")
        app.policy = ActivationPolicy::accessory;
      else if (policy == "prohibited")
        app.policy = ActivationPolicy::prohibited;
      else
        refuse(at(path, "policy"), "expected regular, accessory or prohibited");
    }
    return app;
  }

  // An application; `running` false for one that only runs once it is opened.
  RunningApp app(const Json& v, const std::string& path, bool running) {
    object(v, path);
    onlyKeys(
        v, path,
        {"pid", "name", "bundle_id", "bundle_path", "policy", "activates", "latency_ms", "tree"});
    RunningApp info = runningApp(v, path);
    if (running && !pids_.insert(info.pid).second) refuse(at(path, "pid"), "pid used twice");
    if (running && !firstPid_) firstPid_ = info.pid;
    Element root = desk_.find("app:" + std::to_string(info.pid)).value();
    if (running) {
      root = desk_.addApp(info);
    } else {
      desk_.set(root, "AXRole", std::string("AXApplication"));
      if (info.name) desk_.set(root, "AXTitle", *info.name);
    }
    if (auto a = v.find("activates"); a != v.end())
      desk_.setActivateAnswer(info.pid, boolean(*a, at(path, "activates")));
    if (auto l = v.find("latency_ms"); l != v.end())
      desk_.setAppLatency(info.pid, milliseconds(*l, at(path, "latency_ms")));
    if (auto t = v.find("tree"); t != v.end()) {
      std::string treePath = at(path, "tree");
      object(*t, treePath);
      if (t->contains("id"))
        refuse(at(treePath, "id"), "the application element is named app:<pid>");
      fill(root, info.pid, *t, treePath, 0);
    }
    return info;
  }

  // Sets the attributes, latency and children of an element from its object.
  void fill(const Element& el, int pid, const Json& v, const std::string& path, int depth) {
    if (depth > MAX_NESTING)
      refuse(path, "nested deeper than " + std::to_string(MAX_NESTING) +
                       " levels (a chain generator makes deep trees)");
    if (auto c = v.find("children"); c != v.end())
      children(el, pid, *c, at(path, "children"), depth);
    if (auto l = v.find("latency_ms"); l != v.end())
      desk_.setLatency(el, milliseconds(*l, at(path, "latency_ms")));
    if (auto p = v.find("pid_fails"); p != v.end())
      desk_.failPid(el, status(*p, at(path, "pid_fails")));
    attributes(el, v, path, true);
  }

  using Assign = std::function<void(AxStatus, std::optional<AttrValue>)>;

  Assign setOn(const Element& el, const std::string& name) {
    return [this, el, name](AxStatus s, std::optional<AttrValue> value) {
      if (s == AxStatus::ok && value)
        desk_.set(el, name, std::move(*value));
      else
        desk_.fail(el, name, s);
    };
  }

  // The attribute keys of an element object: shorthands first, so that AX keys win.
  void attributes(const std::function<Assign(const std::string&)>& assign, const Json& v,
                  const std::string& path, bool elementKeys) {
    for (const auto& [key, name] : SHORTHANDS)
      if (auto it = v.find(key); it != v.end())
        value(std::string(name), *it, at(path, std::string(key)), assign(std::string(name)));
    if (auto f = v.find("frame"); f != v.end()) {
      const Json& frame = *f;
      if (!frame.is_array() || frame.size() != 4 ||
          !std::all_of(frame.begin(), frame.end(), [](const Json& n) { return n.is_number(); }))
        refuse(at(path, "frame"), "expected [x, y, width, height]");
      assign("AXPosition")(AxStatus::ok, Point{frame[0].get<double>(), frame[1].get<double>()});
      assign("AXSize")(AxStatus::ok, Size{frame[2].get<double>(), frame[3].get<double>()});
    }
    for (auto it = v.begin(); it != v.end(); ++it) {
      const std::string& key = it.key();
      if (key.starts_with("AX")) {
        value(key, it.value(), at(path, key), assign(key));
        continue;
      }
      bool known = key == "frame" || std::any_of(SHORTHANDS.begin(), SHORTHANDS.end(),
                                                 [&](const auto& s) { return s.first == key; });
      if (elementKeys)
        known =
            known || key == "id" || key == "children" || key == "latency_ms" || key == "pid_fails";
      if (!known) refuse(at(path, key), "unknown key");
    }
  }

  void attributes(const Element& el, const Json& v, const std::string& path, bool elementKeys) {
    attributes([&](const std::string& name) { return setOn(el, name); }, v, path, elementKeys);
  }

  // One attribute value, by the attribute's name for plain JSON or by the explicit form.
  void value(const std::string& name, const Json& v, const std::string& path,
             std::function<void(AxStatus, std::optional<AttrValue>)> assign) {
    auto ok = [&](AttrValue value) { assign(AxStatus::ok, std::move(value)); };
    if (v.is_object()) {
      if (v.size() != 1)
        refuse(path,
               "expected one of {\"string\"}, {\"bool\"}, {\"number\"}, {\"element\"}, "
               "{\"elements\"}, {\"point\"}, {\"size\"}, {\"other\"}, {\"fail\"}, {\"none\"}");
      auto only = v.begin();
      const std::string& kind = only.key();
      const Json& inner = only.value();
      std::string innerPath = at(path, kind);
      if (kind == "string") return ok(string(inner, innerPath));
      if (kind == "bool") return ok(boolean(inner, innerPath));
      if (kind == "number") return ok(number(inner, innerPath));
      if (kind == "element") return later(inner, false, innerPath, std::move(assign));
      if (kind == "elements") return later(inner, true, innerPath, std::move(assign));
      if (kind == "point") {
        auto [x, y] = pair(inner, innerPath, "[x, y]");
        return ok(Point{x, y});
      }
      if (kind == "size") {
        auto [w, h] = pair(inner, innerPath, "[width, height]");
        return ok(Size{w, h});
      }
      if (kind == "other") return ok(OtherValue{string(inner, innerPath)});
      if (kind == "fail") return assign(status(inner, innerPath), std::nullopt);
      if (kind == "none") {
        if (inner != true) refuse(innerPath, "expected true");
        return assign(AxStatus::ok, std::nullopt);
      }
      refuse(innerPath, "unknown value kind");
    }
    if (v.is_null()) return assign(AxStatus::noValue, std::nullopt);
    if (name == "AXPosition") {
      auto [x, y] = pair(v, path, "[x, y]");
      return ok(Point{x, y});
    }
    if (name == "AXSize") {
      auto [w, h] = pair(v, path, "[width, height]");
      return ok(Size{w, h});
    }
    if (ELEMENT_ATTRIBUTES.contains(name)) {
      if (!v.is_string()) refuse(path, "expected the id of an element");
      return later(v, false, path, std::move(assign));
    }
    if (LIST_ATTRIBUTES.contains(name)) {
      if (!v.is_array()) refuse(path, "expected a list of element ids");
      return later(v, true, path, std::move(assign));
    }
    if (v.is_string()) return ok(v.get<std::string>());
    if (v.is_boolean()) return ok(v.get<bool>());
    if (v.is_number()) return ok(v.get<double>());
    refuse(path, "expected a string, true or false, a number or an explicit value such as "
                 "{\"point\": [x, y]}");
  }

  void later(const Json& spec, bool list, const std::string& path,
             std::function<void(AxStatus, std::optional<AttrValue>)> assign) {
    if (list) {
      array(spec, path);
      for (std::size_t i = 0; i < spec.size(); ++i)
        string(spec[i], at(path, i));
    } else {
      string(spec, path);
    }
    pending_.push_back({spec, list, path, std::move(assign)});
  }

  Element element(const Json& v, const std::string& path) {
    std::string id = string(v, path);
    auto found = desk_.find(id);
    if (!found) refuse(path, "no element has the id \"" + id + "\"");
    return *found;
  }

  void resolveReferences() {
    for (auto& p : pending_) {
      if (p.list) {
        std::vector<Element> list;
        for (std::size_t i = 0; i < p.spec.size(); ++i)
          list.push_back(element(p.spec[i], at(p.path, i)));
        p.assign(AxStatus::ok, AttrValue{std::move(list)});
      } else {
        p.assign(AxStatus::ok, AttrValue{element(p.spec, p.path)});
      }
    }
    pending_.clear();
  }

  // A new element from its object, attached nowhere yet.
  Element build(int pid, const Json& v, const std::string& path, int depth) {
    object(v, path);
    if (++count_ > MAX_ELEMENTS)
      refuse(path, "more than " + std::to_string(MAX_ELEMENTS) + " elements");
    std::string name;
    if (auto id = v.find("id"); id != v.end()) {
      name = string(*id, at(path, "id"));
      if (name.empty() || name == "system" || name.starts_with("app:") || name.starts_with("#"))
        refuse(at(path, "id"), "expected a name that is not empty, \"system\", app:... or #...");
      if (!ids_.insert(name).second) refuse(at(path, "id"), "id \"" + name + "\" used twice");
    }
    Element el = desk_.create(pid, {}, name);
    fill(el, pid, v, path, depth);
    return el;
  }

  using Attach = std::function<void(const Element&)>;

  void children(const Element& parent, int pid, const Json& v, const std::string& path, int depth) {
    children([&](const Element& child) { desk_.attach(parent, child); }, pid, v, path, depth);
  }

  // Builds a children array; `attach` takes each element of the top level.
  void children(const Attach& attach, int pid, const Json& v, const std::string& path, int depth) {
    array(v, path);
    for (std::size_t i = 0; i < v.size(); ++i) {
      const Json& child = v[i];
      std::string childPath = at(path, i);
      if (child.is_object() && (child.contains("repeat") || child.contains("chain")))
        generate(attach, pid, child, childPath, depth);
      else
        attach(build(pid, child, childPath, depth + 1));
    }
  }

  // {"repeat": N, "element": {...}, "step": [dx, dy]}: N copies side by side.
  // {"chain": N, "element": {...}, "step": [dx, dy]}: N copies, each inside the one before; the
  // template's children go into the innermost.
  void generate(const Attach& attach, int pid, const Json& v, const std::string& path, int depth) {
    bool chain = v.contains("chain");
    const char* kind = chain ? "chain" : "repeat";
    onlyKeys(v, path, {kind, "element", "step"});
    long long n = whole(v[kind], at(path, kind), 0, static_cast<long long>(MAX_ELEMENTS));
    if (!v.contains("element")) refuse(path, std::string("a ") + kind + " needs an element");
    std::string templatePath = at(path, "element");
    Json templ = object(v["element"], templatePath);
    double dx = 0, dy = 0;
    if (auto s = v.find("step"); s != v.end())
      std::tie(dx, dy) = pair(*s, at(path, "step"), "[dx, dy]");
    Json innerChildren;
    if (chain && templ.contains("children")) {
      innerChildren = templ["children"];
      templ.erase("children");
    }
    std::optional<Element> last;
    for (long long i = 0; i < n; ++i) {
      Json copy = substitute(templ, std::to_string(i + 1));
      shift(copy, dx * static_cast<double>(i), dy * static_cast<double>(i));
      Element el = build(pid, copy, templatePath, depth + 1);
      if (chain && last)
        desk_.attach(*last, el);
      else
        attach(el);
      last = el;
    }
    if (chain && !innerChildren.is_null() && last) {
      Json inner = substitute(innerChildren, std::to_string(n));
      shift(inner, dx * static_cast<double>(n - 1), dy * static_cast<double>(n - 1));
      children(*last, pid, inner, at(templatePath, "children"), depth + 1);
    }
  }

  void folders(const Json& v, const std::string& path) {
    object(v, path);
    for (auto it = v.begin(); it != v.end(); ++it) {
      std::string p = at(path, it.key());
      if (it.value().is_null()) {
        desk_.setFolder(it.key(), std::nullopt);
        continue;
      }
      array(it.value(), p);
      std::vector<std::string> entries;
      for (std::size_t i = 0; i < it.value().size(); ++i)
        entries.push_back(string(it.value()[i], at(p, i)));
      desk_.setFolder(it.key(), std::move(entries));
    }
  }

  void bundles(const Json& v, const std::string& path) {
    array(v, path);
    for (std::size_t i = 0; i < v.size(); ++i) {
      std::string p = at(path, i);
      object(v[i], p);
      onlyKeys(v[i], p, {"path", "bundle_id"});
      if (!v[i].contains("path")) refuse(p, "a bundle needs a path");
      std::string file = string(v[i]["path"], at(p, "path"));
      if (file.empty() || file.front() != '/') refuse(at(p, "path"), "expected an absolute path");
      std::optional<std::string> id;
      if (auto b = v[i].find("bundle_id"); b != v[i].end())
        id = stringOrNull(*b, at(p, "bundle_id"));
      desk_.addBundle(file, id);
    }
  }

  void opens(const Json& v, const std::string& path) {
    array(v, path);
    for (std::size_t i = 0; i < v.size(); ++i) {
      std::string p = at(path, i);
      object(v[i], p);
      onlyKeys(v[i], p, {"path", "app", "error", "delay_ms"});
      if (!v[i].contains("path")) refuse(p, "an open answer needs the bundle's path");
      std::string file = string(v[i]["path"], at(p, "path"));
      OpenAnswer answer;
      if (auto a = v[i].find("app"); a != v[i].end() && !a->is_null())
        answer.app = app(*a, at(p, "app"), false);
      if (auto e = v[i].find("error"); e != v[i].end())
        answer.error = stringOrNull(*e, at(p, "error"));
      if (auto d = v[i].find("delay_ms"); d != v[i].end())
        answer.delaySeconds = milliseconds(*d, at(p, "delay_ms"));
      desk_.setOpenAnswer(file, answer);
    }
  }

  void hits(const Json& v, const std::string& path) {
    array(v, path);
    for (std::size_t i = 0; i < v.size(); ++i) {
      std::string p = at(path, i);
      object(v[i], p);
      onlyKeys(v[i], p, {"x", "y", "element", "fail"});
      if (!v[i].contains("x") || !v[i].contains("y")) refuse(p, "a hit needs x and y");
      Point point{number(v[i]["x"], at(p, "x")), number(v[i]["y"], at(p, "y"))};
      bool hasElement = v[i].contains("element"), hasFail = v[i].contains("fail");
      if (hasElement == hasFail) refuse(p, "a hit gives either element or fail");
      if (hasElement)
        desk_.setHitAnswer(point, {AxStatus::ok, element(v[i]["element"], at(p, "element"))});
      else
        desk_.setHitAnswer(point, {status(v[i]["fail"], at(p, "fail")), std::nullopt});
    }
  }

  void changes(const Json& v, const std::string& path) {
    array(v, path);
    for (std::size_t i = 0; i < v.size(); ++i) {
      std::string p = at(path, i);
      object(v[i], p);
      onlyKeys(v[i], p, {"when", "after_ms", "do"});
      double delay = 0;
      if (auto a = v[i].find("after_ms"); a != v[i].end())
        delay = milliseconds(*a, at(p, "after_ms"));
      if (!v[i].contains("do")) refuse(p, "a change needs do");
      Change change = actions(v[i]["do"], at(p, "do"));
      if (!v[i].contains("when")) refuse(p, "a change needs when");
      trigger(v[i]["when"], at(p, "when"), delay, std::move(change));
    }
  }

  void trigger(const Json& w, const std::string& path, double delay, Change change) {
    object(w, path);
    if (auto t = w.find("at_ms"); t != w.end()) {
      onlyKeys(w, path, {"at_ms"});
      desk_.at(milliseconds(*t, at(path, "at_ms")) + delay, std::move(change));
    } else if (auto wr = w.find("write"); wr != w.end()) {
      onlyKeys(w, path, {"write", "pid"});
      if (!w.contains("pid")) refuse(path, "a write needs the pid of the application");
      desk_.afterWrite(pidOf(w["pid"], at(path, "pid")), string(*wr, at(path, "write")), delay,
                       std::move(change));
    } else if (auto k = w.find("key"); k != w.end()) {
      onlyKeys(w, path, {"key"});
      desk_.afterKey(static_cast<std::uint16_t>(whole(*k, at(path, "key"), 0, 65535)), delay,
                     std::move(change));
    } else if (auto c = w.find("click"); c != w.end()) {
      onlyKeys(w, path, {"click"});
      // The element may come from a change: resolved with the others.
      later(*c, false, at(path, "click"),
            [this, delay, change = std::move(change)](AxStatus, std::optional<AttrValue> v) {
              desk_.afterClick(elementIn(v), delay, change);
            });
    } else {
      refuse(path, "expected at_ms, write, key or click");
    }
  }

  // What a change does, in order.
  Change actions(const Json& v, const std::string& path) {
    array(v, path);
    std::vector<Change> steps;
    for (std::size_t i = 0; i < v.size(); ++i)
      steps.push_back(action(v[i], at(path, i)));
    return [steps](MemoryDesktop& d) {
      for (const auto& step : steps)
        step(d);
    };
  }

  // An element named by a change: resolved once every element exists.
  std::shared_ptr<Element> named(const Json& v, const std::string& path) {
    auto slot = std::make_shared<Element>();
    later(v, false, path,
          [slot](AxStatus, std::optional<AttrValue> value) { *slot = elementIn(value); });
    return slot;
  }

  Change action(const Json& v, const std::string& path) {
    object(v, path);
    if (auto s = v.find("set"); s != v.end()) {
      auto target = named(*s, at(path, "set"));
      using Slot = std::pair<AxStatus, std::optional<AttrValue>>;
      auto values = std::make_shared<std::vector<std::pair<std::string, Slot>>>();
      Json rest = v;
      rest.erase("set");
      // Each attribute gets a slot now; element references fill theirs once resolved.
      attributes(
          [values](const std::string& name) -> Assign {
            values->push_back({name, {AxStatus::failure, std::nullopt}});
            std::size_t index = values->size() - 1;
            return [values, index](AxStatus st, std::optional<AttrValue> value) {
              (*values)[index].second = {st, std::move(value)};
            };
          },
          rest, path, false);
      return [target, values](MemoryDesktop& d) {
        for (const auto& [name, slot] : *values) {
          if (slot.first == AxStatus::ok && slot.second)
            d.set(*target, name, *slot.second);
          else
            d.fail(*target, name, slot.first);
        }
      };
    }
    if (auto a = v.find("add"); a != v.end()) {
      onlyKeys(v, path, {"add", "children"});
      Element parent = element(*a, at(path, "add"));
      int pid = desk_.pid(parent).value.value_or(0);
      if (!v.contains("children")) refuse(path, "add needs children");
      // Built now, attached nowhere; the change attaches them.
      std::vector<Element> list;
      children([&](const Element& child) { list.push_back(child); }, pid, v["children"],
               at(path, "children"), 0);
      return [parent, list](MemoryDesktop& d) {
        for (const auto& child : list)
          d.attach(parent, child);
      };
    }
    if (auto r = v.find("remove"); r != v.end()) {
      onlyKeys(v, path, {"remove"});
      auto target = named(*r, at(path, "remove"));
      return [target](MemoryDesktop& d) { d.remove(*target); };
    }
    if (auto f = v.find("focus"); f != v.end()) {
      onlyKeys(v, path, {"focus"});
      auto target = named(*f, at(path, "focus"));
      return [target](MemoryDesktop& d) { d.focus(*target); };
    }
    if (auto f = v.find("frontmost"); f != v.end()) {
      onlyKeys(v, path, {"frontmost"});
      std::optional<int> pid;
      if (!f->is_null()) pid = pidOf(*f, at(path, "frontmost"));
      return [pid](MemoryDesktop& d) { d.setFrontmost(pid); };
    }
    if (auto q = v.find("quit"); q != v.end()) {
      onlyKeys(v, path, {"quit"});
      int pid = pidOf(*q, at(path, "quit"));
      return [pid](MemoryDesktop& d) { d.quitApp(pid); };
    }
    refuse(path, "expected set, add, remove, focus, frontmost or quit");
  }

  MemoryDesktop& desk_;
  std::vector<Pending> pending_;
  std::set<std::string> ids_;
  std::set<int> pids_;
  std::optional<int> firstPid_;
  std::size_t count_ = 0;
};

} // namespace

SceneLoad loadScene(std::string_view text, const std::string& folder) {
  Json root;
  try {
    root = Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& e) {
    // nlohmann's message names the byte; keep its own words after the prefix.
    std::string what = e.what();
    auto colon = what.find("parse error");
    return {std::nullopt,
            "not valid JSON: " + (colon == std::string::npos ? what : what.substr(colon))};
  }
  Scene scene;
  try {
    // The clock comes first: the desktop is made on it.
    if (root.is_object())
      if (auto c = root.find("clock"); c != root.end() && *c == "real") scene.realClock = true;
    scene.desktop = scene.realClock ? std::make_unique<MemoryDesktop>(steadyClock())
                                    : std::make_unique<MemoryDesktop>();
    Loader(*scene.desktop).load(root, scene, folder);
  } catch (const SceneError& e) {
    return {std::nullopt, e.message};
  }
  return {std::move(scene), ""};
}

SceneLoad loadSceneFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "cannot read the scene file"};
  std::stringstream text;
  text << in.rdbuf();
  if (in.bad()) return {std::nullopt, "cannot read the scene file"};
  auto slash = path.find_last_of('/');
  std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  return loadScene(text.str(), folder);
}

} // namespace plenk
