#include "hands/constants.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {

Json verbProbe(Hands& hands, const Json&) {
  // Built key by key: a braced list would build each pair as a small array first.
  Json verbs = Json::array();
  auto& list = verbs.get_ref<Json::array_t&>();
  list.reserve(VERBS.size());
  for (auto v : VERBS)
    list.emplace_back(v);
  Json result = Json::object();
  result["helper"] = HELPER_NAME;
  result["protocol"] = PROTOCOL_VERSION;
  result["version"] = HELPER_VERSION;
  result["accessibility"] = hands.ax.isTrusted();
  result["screen"] = hands.input.screenCaptureAllowed();
  result["verbs"] = std::move(verbs);
  return result;
}

} // namespace plenk::hands
