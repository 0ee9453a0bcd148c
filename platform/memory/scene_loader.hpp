// Reading scene files: the checked JSON reads, each naming the place of a refusal, and the
// loader of a scene into a desktop, whose parts sit in one source file per section they read
// (scene.cpp: the whole file and its settings; scene_elements.cpp: applications and element
// trees; scene_templates.cpp: generated copies; scene_workspace.cpp: folders, bundles, opens and
// hits; scene_changes.cpp: changes over time and by input).
#pragma once

#include "platform/memory/scene.hpp"

#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace plenk::scene_loading {

using Json = nlohmann::json;

// Scenes describe desktops, not stress tests of the loader.
constexpr std::size_t MAX_ELEMENTS = 1'000'000;
constexpr int MAX_NESTING = 200;

struct SceneError {
  std::string message;
};

[[noreturn]] inline void refuse(const std::string& path, const std::string& what) {
  throw SceneError{path.empty() ? what : path + ": " + what};
}

inline std::string at(const std::string& path, const std::string& key) {
  return path.empty() ? key : path + "." + key;
}
inline std::string at(const std::string& path, std::size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

inline const Json& object(const Json& v, const std::string& path) {
  if (!v.is_object()) refuse(path, "expected an object");
  return v;
}
inline const Json& array(const Json& v, const std::string& path) {
  if (!v.is_array()) refuse(path, "expected an array");
  return v;
}
inline std::string string(const Json& v, const std::string& path) {
  if (!v.is_string()) refuse(path, "expected a string");
  return v.get<std::string>();
}
inline std::optional<std::string> stringOrNull(const Json& v, const std::string& path) {
  if (v.is_null()) return std::nullopt;
  return string(v, path);
}
inline bool boolean(const Json& v, const std::string& path) {
  if (!v.is_boolean()) refuse(path, "expected true or false");
  return v.get<bool>();
}
inline double number(const Json& v, const std::string& path) {
  if (!v.is_number()) refuse(path, "expected a number");
  return v.get<double>();
}
inline double milliseconds(const Json& v, const std::string& path) {
  double ms = number(v, path);
  if (!(ms >= 0) || ms > 1e9) refuse(path, "expected milliseconds from 0 to 1000000000");
  return ms / 1000.0;
}
inline long long whole(const Json& v, const std::string& path, long long lo, long long hi) {
  if (!v.is_number()) refuse(path, "expected a whole number");
  double d = v.get<double>();
  if (d != std::floor(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi))
    refuse(path,
           "expected a whole number from " + std::to_string(lo) + " to " + std::to_string(hi));
  return static_cast<long long>(d);
}
inline int pidOf(const Json& v, const std::string& path) {
  return static_cast<int>(whole(v, path, 0, std::numeric_limits<std::int32_t>::max()));
}
inline std::pair<double, double> pair(const Json& v, const std::string& path,
                                      const char* expected) {
  if (!v.is_array() || v.size() != 2 || !v[0].is_number() || !v[1].is_number())
    refuse(path, std::string("expected ") + expected);
  return {v[0].get<double>(), v[1].get<double>()};
}
inline void onlyKeys(const Json& obj, const std::string& path,
                     std::initializer_list<std::string_view> keys) {
  for (auto it = obj.begin(); it != obj.end(); ++it)
    if (std::find(keys.begin(), keys.end(), it.key()) == keys.end())
      refuse(at(path, it.key()), "unknown key");
}

inline AxStatus status(const Json& v, const std::string& path) {
  if (v.is_string())
    if (auto s = axStatusFromName(v.get<std::string>()); s && *s != AxStatus::ok) return *s;
  refuse(path, "expected a failure status: failure, attributeUnsupported, noValue, "
               "cannotComplete, invalidElement, notImplemented or apiDisabled");
}

// The element a resolved reference holds.
inline Element elementIn(const std::optional<AttrValue>& value) {
  const Element* e = value ? std::get_if<Element>(&*value) : nullptr;
  return e ? *e : Element{};
}

// Loads one scene into one desktop; a refusal throws SceneError.
class Loader {
public:
  explicit Loader(MemoryDesktop& desk) : desk_(desk) {}
  void load(const Json& root, Scene& scene, const std::string& folder);

private:
  // An attribute value whose element references are resolved once every element exists.
  struct Pending {
    Json spec; // a name, or an array of names
    bool list = false;
    std::string path;
    std::function<void(AxStatus, std::optional<AttrValue>)> assign;
  };
  using Assign = std::function<void(AxStatus, std::optional<AttrValue>)>;
  using Attach = std::function<void(const Element&)>;

  // ---- the whole file (scene.cpp)
  void permissions(const Json& v, const std::string& path);
  void input(const Json& v, const std::string& path);
  // ---- applications and element trees (scene_elements.cpp, scene_templates.cpp)
  RunningApp runningApp(const Json& v, const std::string& path);
  // An application; `running` false for one that only runs once it is opened.
  RunningApp app(const Json& v, const std::string& path, bool running);
  // Sets the attributes, latency and children of an element from its object.
  void fill(const Element& el, int pid, const Json& v, const std::string& path, int depth);
  Assign setOn(const Element& el, const std::string& name);
  // The attribute keys of an element object: shorthands first, so that AX keys win.
  void attributes(const std::function<Assign(const std::string&)>& assign, const Json& v,
                  const std::string& path, bool elementKeys);
  void attributes(const Element& el, const Json& v, const std::string& path, bool elementKeys);
  // One attribute value, by the attribute's name for plain JSON or by the explicit form.
  void value(const std::string& name, const Json& v, const std::string& path,
             std::function<void(AxStatus, std::optional<AttrValue>)> assign);
  void later(const Json& spec, bool list, const std::string& path,
             std::function<void(AxStatus, std::optional<AttrValue>)> assign);
  Element element(const Json& v, const std::string& path);
  void resolveReferences();
  // A new element from its object, attached nowhere yet.
  Element build(int pid, const Json& v, const std::string& path, int depth);
  void children(const Element& parent, int pid, const Json& v, const std::string& path, int depth);
  // Builds a children array; `attach` takes each element of the top level.
  void children(const Attach& attach, int pid, const Json& v, const std::string& path, int depth);
  // {"repeat": N, "element": {...}, "step": [dx, dy]}: N copies side by side.
  // {"chain": N, "element": {...}, "step": [dx, dy]}: N copies, each inside the one before; the
  // template's children go into the innermost.
  void generate(const Attach& attach, int pid, const Json& v, const std::string& path, int depth);

  // ---- applications on disk and hit answers (scene_workspace.cpp)
  void folders(const Json& v, const std::string& path);
  void bundles(const Json& v, const std::string& path);
  void opens(const Json& v, const std::string& path);
  void hits(const Json& v, const std::string& path);

  // ---- changes over time and by input (scene_changes.cpp)
  void changes(const Json& v, const std::string& path);
  void trigger(const Json& w, const std::string& path, double delay, Change change);
  // What a change does, in order.
  Change actions(const Json& v, const std::string& path);
  // An element named by a change: resolved once every element exists.
  std::shared_ptr<Element> named(const Json& v, const std::string& path);
  Change action(const Json& v, const std::string& path);

  MemoryDesktop& desk_;
  std::vector<Pending> pending_;
  std::set<std::string> ids_;
  std::set<int> pids_;
  std::optional<int> firstPid_;
  std::size_t count_ = 0;
};

} // namespace plenk::scene_loading
