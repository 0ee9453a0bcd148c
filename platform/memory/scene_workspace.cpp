// Scenes: folders, bundles, open answers and hit answers.
#include "platform/memory/scene_loader.hpp"

namespace plenk::scene_loading {

void Loader::folders(const Json& v, const std::string& path) {
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

void Loader::bundles(const Json& v, const std::string& path) {
  array(v, path);
  for (std::size_t i = 0; i < v.size(); ++i) {
    std::string p = at(path, i);
    object(v[i], p);
    onlyKeys(v[i], p, {"path", "bundle_id"});
    if (!v[i].contains("path")) refuse(p, "a bundle needs a path");
    std::string file = string(v[i]["path"], at(p, "path"));
    if (file.empty() || file.front() != '/') refuse(at(p, "path"), "expected an absolute path");
    std::optional<std::string> id;
    if (auto b = v[i].find("bundle_id"); b != v[i].end()) id = stringOrNull(*b, at(p, "bundle_id"));
    desk_.addBundle(file, id);
  }
}

void Loader::opens(const Json& v, const std::string& path) {
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

void Loader::hits(const Json& v, const std::string& path) {
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

} // namespace plenk::scene_loading
