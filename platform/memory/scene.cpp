// Scenes: the whole file and its settings, and loading a scene from text or a file.
#include "platform/memory/scene_loader.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace plenk {
namespace scene_loading {

void Loader::load(const Json& root, Scene& scene, const std::string& folder) {
  object(root, "");
  onlyKeys(root, "",
           {"permissions", "clock", "event_log", "input", "timeout_ms", "apps", "frontmost",
            "system", "focus", "hits", "home", "folders", "bundles", "open", "changes"});
  if (auto p = root.find("permissions"); p != root.end()) permissions(*p, "permissions");
  if (auto c = root.find("clock"); c != root.end()) {
    std::string clock = string(*c, "clock");
    if (clock != "virtual" && clock != "real") refuse("clock", "expected \"virtual\" or \"real\"");
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

void Loader::permissions(const Json& v, const std::string& path) {
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

void Loader::input(const Json& v, const std::string& path) {
  object(v, path);
  onlyKeys(v, path, {"sources", "refuse_after"});
  if (auto s = v.find("sources"); s != v.end())
    desk_.refuseSources(!boolean(*s, at(path, "sources")));
  if (auto r = v.find("refuse_after"); r != v.end())
    desk_.refuseEventsAfter(static_cast<int>(whole(*r, at(path, "refuse_after"), 0, 1'000'000)));
}

} // namespace scene_loading

using scene_loading::Json;
using scene_loading::Loader;
using scene_loading::SceneError;

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
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return loadScene(text.str(), folder.empty() ? "." : folder.string());
}

} // namespace plenk
