// Scenes: changes over time and by input.
#include "platform/memory/scene_loader.hpp"

namespace plenk::scene_loading {

void Loader::changes(const Json& v, const std::string& path) {
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

void Loader::trigger(const Json& w, const std::string& path, double delay, Change change) {
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
Change Loader::actions(const Json& v, const std::string& path) {
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
std::shared_ptr<Element> Loader::named(const Json& v, const std::string& path) {
  auto slot = std::make_shared<Element>();
  later(v, false, path,
        [slot](AxStatus, std::optional<AttrValue> value) { *slot = elementIn(value); });
  return slot;
}

Change Loader::action(const Json& v, const std::string& path) {
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

} // namespace plenk::scene_loading
