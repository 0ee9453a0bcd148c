// Scenes: the generators that make many elements from one template.
#include "platform/memory/scene_loader.hpp"

namespace plenk::scene_loading {

namespace {

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

} // namespace

// {"repeat": N, "element": {...}, "step": [dx, dy]}: N copies side by side.
// {"chain": N, "element": {...}, "step": [dx, dy]}: N copies, each inside the one before; the
// template's children go into the innermost.
void Loader::generate(const Attach& attach, int pid, const Json& v, const std::string& path,
                      int depth) {
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

} // namespace plenk::scene_loading
