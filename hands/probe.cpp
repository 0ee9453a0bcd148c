#include "hands/constants.hpp"
#include "hands/verbs.hpp"

namespace plenk::hands {

Json verbProbe(Hands& hands, const Json&) {
  Json verbs = Json::array();
  for (auto v : VERBS)
    verbs.push_back(v);
  return {{"helper", HELPER_NAME},
          {"protocol", PROTOCOL_VERSION},
          {"version", HELPER_VERSION},
          {"accessibility", hands.ax.isTrusted()},
          {"screen", hands.input.screenCaptureAllowed()},
          {"verbs", std::move(verbs)}};
}

} // namespace plenk::hands
