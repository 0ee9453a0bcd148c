// Scenes: applications and their element trees, attributes and element references.
#include "platform/memory/scene_keys.hpp"
#include "platform/memory/scene_loader.hpp"

#include <algorithm>
#include <array>

namespace plenk::scene_loading {

using scene_keys::ELEMENT_ATTRIBUTES;
using scene_keys::LIST_ATTRIBUTES;
using scene_keys::SHORTHANDS;

RunningApp Loader::runningApp(const Json& v, const std::string& path) {
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
RunningApp Loader::app(const Json& v, const std::string& path, bool running) {
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
    if (t->contains("id")) refuse(at(treePath, "id"), "the application element is named app:<pid>");
    fill(root, info.pid, *t, treePath, 0);
  }
  return info;
}

// Sets the attributes, latency and children of an element from its object.
void Loader::fill(const Element& el, int pid, const Json& v, const std::string& path, int depth) {
  if (depth > MAX_NESTING)
    refuse(path, "nested deeper than " + std::to_string(MAX_NESTING) +
                     " levels (a chain generator makes deep trees)");
  if (auto c = v.find("children"); c != v.end()) children(el, pid, *c, at(path, "children"), depth);
  if (auto l = v.find("latency_ms"); l != v.end())
    desk_.setLatency(el, milliseconds(*l, at(path, "latency_ms")));
  if (auto p = v.find("pid_fails"); p != v.end())
    desk_.failPid(el, status(*p, at(path, "pid_fails")));
  attributes(el, v, path, true);
}

Loader::Assign Loader::setOn(const Element& el, const std::string& name) {
  return [this, el, name](AxStatus s, std::optional<AttrValue> value) {
    if (s == AxStatus::ok && value)
      desk_.set(el, name, std::move(*value));
    else
      desk_.fail(el, name, s);
  };
}

// The attribute keys of an element object: shorthands first, so that AX keys win.
void Loader::attributes(const std::function<Assign(const std::string&)>& assign, const Json& v,
                        const std::string& path, bool elementKeys) {
  for (const auto& [key, name] : SHORTHANDS)
    if (auto it = v.find(key); it != v.end())
      value(std::string(name), *it, at(path, std::string(key)), assign(std::string(name)));
  if (auto f = v.find(scene_keys::FRAME); f != v.end()) {
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

void Loader::attributes(const Element& el, const Json& v, const std::string& path,
                        bool elementKeys) {
  attributes([&](const std::string& name) { return setOn(el, name); }, v, path, elementKeys);
}

// One attribute value, by the attribute's name for plain JSON or by the explicit form.
void Loader::value(const std::string& name, const Json& v, const std::string& path,
                   std::function<void(AxStatus, std::optional<AttrValue>)> assign) {
  auto ok = [&](AttrValue value) { assign(AxStatus::ok, std::move(value)); };
  if (v.is_object()) {
    if (v.size() != 1)
      refuse(path, "expected one of {\"string\"}, {\"bool\"}, {\"number\"}, {\"element\"}, "
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

void Loader::later(const Json& spec, bool list, const std::string& path,
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

Element Loader::element(const Json& v, const std::string& path) {
  std::string id = string(v, path);
  auto found = desk_.find(id);
  if (!found) refuse(path, "no element has the id \"" + id + "\"");
  return *found;
}

void Loader::resolveReferences() {
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
Element Loader::build(int pid, const Json& v, const std::string& path, int depth) {
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

void Loader::children(const Element& parent, int pid, const Json& v, const std::string& path,
                      int depth) {
  children([&](const Element& child) { desk_.attach(parent, child); }, pid, v, path, depth);
}

// Builds a children array; `attach` takes each element of the top level.
void Loader::children(const Attach& attach, int pid, const Json& v, const std::string& path,
                      int depth) {
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

} // namespace plenk::scene_loading
