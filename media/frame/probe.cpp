#include "media/frame/constants.hpp"
#include "media/verbs.hpp"

namespace plenk::media {

Json verbProbe(Media& media, const Options&) {
  bool canPick = media.system.canPick();
  OsVersion os = media.system.version();
  Json verbs = Json::array();
  for (auto name : VERB_NAMES)
    verbs.push_back(name);
  return {{"ok", true},
          {"verbs", verbs},
          {"os", os.text},
          {"osMajor", os.major},
          {"osMinor", os.minor},
          {"canPick", canPick},
          {"defaults",
           {{"maxEdge", DEFAULT_MAX_EDGE},
            {"frameCount", DEFAULT_FRAME_COUNT},
            {"maxBytes", DEFAULT_MAX_BYTES},
            {"maxChars", DEFAULT_MAX_CHARS},
            {"pickLimit", PICK_DEFAULT_LIMIT},
            {"pickMaxEdge", PICK_MAX_EDGE}}}};
}

} // namespace plenk::media
