#include "platform/memory/scene_writer.hpp"

#include "platform/memory/scene_keys.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace plenk {

namespace {

using scene_keys::ELEMENT_ATTRIBUTES;
using scene_keys::LIST_ATTRIBUTES;
using scene_keys::SHORTHANDS;

using Reads = std::vector<std::pair<std::string, AxResult<AttrValue>>>;

// The last read of each attribute wins, at the place of its first.
Reads lastReads(const Reads& reads) {
  Reads out;
  std::map<std::string, std::size_t, std::less<>> at;
  for (const auto& [name, result] : reads) {
    if (auto it = at.find(name); it != at.end()) {
      out[it->second].second = result;
      continue;
    }
    at.emplace(name, out.size());
    out.emplace_back(name, result);
  }
  return out;
}

std::vector<Element> childElements(const SnapshotElement& e) {
  std::vector<Element> out;
  out.reserve(e.children.size());
  for (const auto& c : e.children)
    out.push_back(c.element);
  return out;
}

// Whether the "AXChildren" read says no more than the elements written inside.
bool childrenAsWritten(const SnapshotElement& e, const AxResult<AttrValue>& read) {
  if (!read.ok()) return false;
  const auto* list = std::get_if<std::vector<Element>>(&*read.value);
  return list && *list == childElements(e);
}

class Writer {
public:
  explicit Writer(const DesktopSnapshot& s) : snapshot_(s) {
    for (const auto& app : s.apps)
      if (app.tree) present(*app.tree, "app:" + std::to_string(app.app.pid));
    for (const auto& app : s.apps)
      if (app.tree) referenced(*app.tree);
    int next = 0;
    for (const Element& e : order_)
      if (wanted_.contains(e) && !ids_.contains(e)) ids_[e] = "e" + std::to_string(++next);
  }

  Json scene() {
    Json root = Json::object();
    root["permissions"] = {{"accessibility", snapshot_.trusted}};
    Json apps = Json::array();
    for (const auto& a : snapshot_.apps)
      apps.push_back(app(a));
    root["apps"] = std::move(apps);
    root["frontmost"] = snapshot_.frontmost ? Json(*snapshot_.frontmost) : Json(nullptr);
    root["home"] = snapshot_.home;
    Json folders = Json::object();
    for (const auto& [path, entries] : snapshot_.folders)
      folders[path] = entries ? Json(*entries) : Json(nullptr);
    root["folders"] = std::move(folders);
    Json bundles = Json::array();
    for (const auto& [path, id] : snapshot_.bundles)
      bundles.push_back({{"path", path}, {"bundle_id", id}});
    root["bundles"] = std::move(bundles);
    return root;
  }

private:
  // The application elements are named app:<pid>; every other element is numbered when needed.
  void present(const SnapshotElement& e, std::string rootName = "") {
    if (!e.element) return;
    order_.push_back(e.element);
    if (!rootName.empty()) ids_[e.element] = std::move(rootName);
    for (const auto& c : e.children)
      present(c);
  }

  void referenced(const SnapshotElement& e) {
    for (const auto& [name, read] : lastReads(e.attributes)) {
      if (!read.ok()) continue;
      if (name == "AXChildren" && childrenAsWritten(e, read)) continue;
      if (const auto* one = std::get_if<Element>(&*read.value)) wanted_.insert(*one);
      if (const auto* list = std::get_if<std::vector<Element>>(&*read.value))
        wanted_.insert(list->begin(), list->end());
    }
    for (const auto& c : e.children)
      referenced(c);
  }

  std::optional<std::string> idOf(const Element& e) const {
    auto it = ids_.find(e);
    if (it == ids_.end()) return std::nullopt;
    return it->second;
  }

  // The JSON of one read, or nothing when it cannot be written (a reference to an element that
  // is not in the scene).
  std::optional<Json> value(const std::string& name, const AxResult<AttrValue>& read) const {
    if (read.status != AxStatus::ok) {
      if (read.status == AxStatus::noValue) return Json(nullptr);
      return Json{{"fail", std::string(axStatusName(read.status))}};
    }
    if (!read.value) return Json{{"none", true}};
    bool single = ELEMENT_ATTRIBUTES.contains(name), list = LIST_ATTRIBUTES.contains(name);
    bool position = name == "AXPosition", size = name == "AXSize";
    // A plain value is read by the attribute's name: a kind it would be misread as is explicit.
    bool typed = single || list || position || size;
    const AttrValue& v = *read.value;
    if (const auto* s = std::get_if<std::string>(&v))
      return typed ? Json{{"string", *s}} : Json(*s);
    if (const auto* b = std::get_if<bool>(&v)) return typed ? Json{{"bool", *b}} : Json(*b);
    if (const auto* d = std::get_if<double>(&v)) return typed ? Json{{"number", *d}} : Json(*d);
    if (const auto* e = std::get_if<Element>(&v)) {
      auto id = idOf(*e);
      if (!id) return std::nullopt;
      return single ? Json(*id) : Json{{"element", *id}};
    }
    if (const auto* l = std::get_if<std::vector<Element>>(&v)) {
      Json ids = Json::array();
      for (const auto& e : *l)
        if (auto id = idOf(e)) ids.push_back(*id);
      return list ? ids : Json{{"elements", ids}};
    }
    if (const auto* p = std::get_if<Point>(&v)) {
      Json xy = Json::array({p->x, p->y});
      return position ? xy : Json{{"point", xy}};
    }
    if (const auto* z = std::get_if<Size>(&v)) {
      Json wh = Json::array({z->width, z->height});
      return size ? wh : Json{{"size", wh}};
    }
    return Json{{"other", std::get<OtherValue>(v).kind}};
  }

  Json element(const SnapshotElement& e, bool root, const RunningApp* app = nullptr) const {
    Json out = Json::object();
    if (!root)
      if (auto id = idOf(e.element)) out["id"] = *id;
    Reads reads = lastReads(e.attributes);
    auto readOf = [&](std::string_view name) -> const AxResult<AttrValue>* {
      for (const auto& [n, r] : reads)
        if (n == name) return &r;
      return nullptr;
    };
    const auto* position = readOf("AXPosition");
    const auto* size = readOf("AXSize");
    bool frame = position && size && position->ok() && size->ok() &&
                 std::holds_alternative<Point>(*position->value) &&
                 std::holds_alternative<Size>(*size->value);
    if (frame) {
      const auto& p = std::get<Point>(*position->value);
      const auto& z = std::get<Size>(*size->value);
      out[std::string(scene_keys::FRAME)] = {p.x, p.y, z.width, z.height};
    }
    for (const auto& [name, read] : reads) {
      if (frame && (name == "AXPosition" || name == "AXSize")) continue;
      if (name == "AXChildren" && childrenAsWritten(e, read)) continue;
      // What an application element is unless told otherwise.
      if (root && read.ok() && name == "AXRole" &&
          *read.value == AttrValue{std::string("AXApplication")})
        continue;
      if (root && app && app->name && read.ok() && name == "AXTitle" &&
          *read.value == AttrValue{*app->name})
        continue;
      auto written = value(name, read);
      if (!written) continue;
      std::string key = name;
      for (const auto& [shorthand, full] : SHORTHANDS)
        if (full == name) key = shorthand;
      out[key] = std::move(*written);
    }
    if (!e.children.empty()) {
      Json children = Json::array();
      for (const auto& c : e.children)
        children.push_back(element(c, false));
      out["children"] = std::move(children);
    }
    return out;
  }

  Json app(const SnapshotApp& a) const {
    Json out = Json::object();
    out["pid"] = a.app.pid;
    out["name"] = a.app.name ? Json(*a.app.name) : Json(nullptr);
    out["bundle_id"] = a.app.bundleId ? Json(*a.app.bundleId) : Json(nullptr);
    if (a.app.bundlePath) out["bundle_path"] = *a.app.bundlePath;
    if (a.app.policy == ActivationPolicy::accessory) out["policy"] = "accessory";
    if (a.app.policy == ActivationPolicy::prohibited) out["policy"] = "prohibited";
    if (a.tree) out["tree"] = element(*a.tree, true, &a.app);
    return out;
  }

  const DesktopSnapshot& snapshot_;
  std::vector<Element> order_;
  std::unordered_set<Element> wanted_;
  std::unordered_map<Element, std::string> ids_;
};

std::string compact(const Json& v) {
  return v.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// An element object on one line, its children each on a line of their own below it.
void writeElement(const Json& e, const std::string& indent, std::string& out) {
  out += "{";
  bool first = true;
  auto write = [&](const std::string& key, const Json& value) {
    if (!first) out += ", ";
    first = false;
    out += compact(key) + ": " + compact(value);
  };
  // What names an element first, for people reading the file.
  constexpr std::array<std::string_view, 4> LEADING{"id", "role", "subrole", "title"};
  for (std::string_view key : LEADING)
    if (auto it = e.find(key); it != e.end()) write(std::string(key), *it);
  for (auto it = e.begin(); it != e.end(); ++it)
    if (it.key() != "children" &&
        std::find(LEADING.begin(), LEADING.end(), it.key()) == LEADING.end())
      write(it.key(), it.value());
  if (auto c = e.find("children"); c != e.end() && c->is_array()) {
    out += std::string(first ? "" : ", ") + "\"children\": [\n";
    for (std::size_t i = 0; i < c->size(); ++i) {
      out += indent + "  ";
      writeElement((*c)[i], indent + "  ", out);
      out += i + 1 < c->size() ? ",\n" : "\n";
    }
    out += indent + "]";
  }
  out += "}";
}

} // namespace

Json sceneJson(const DesktopSnapshot& snapshot) {
  return Writer(snapshot).scene();
}

std::string sceneText(const Json& scene) {
  std::string out = "{\n";
  bool first = true;
  for (auto it = scene.begin(); it != scene.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    out += "  " + compact(it.key()) + ": ";
    if (it.key() != "apps" || !it.value().is_array()) {
      out += compact(it.value());
      continue;
    }
    out += "[\n";
    const Json& apps = it.value();
    for (std::size_t i = 0; i < apps.size(); ++i) {
      out += "    {";
      bool firstKey = true;
      for (auto a = apps[i].begin(); a != apps[i].end(); ++a) {
        if (a.key() == "tree") continue;
        out += std::string(firstKey ? "" : ", ") + compact(a.key()) + ": " + compact(a.value());
        firstKey = false;
      }
      if (auto t = apps[i].find("tree"); t != apps[i].end()) {
        out += ",\n     \"tree\": ";
        writeElement(*t, "     ", out);
      }
      out += i + 1 < apps.size() ? "},\n" : "}\n";
    }
    out += "  ]";
  }
  return out + "\n}\n";
}

} // namespace plenk
