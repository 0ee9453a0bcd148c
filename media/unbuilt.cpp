// Verbs not built yet: each ends the run with E_WORK. Delete a verb here when its file lands.
#include "media/frame/errors.hpp"
#include "media/verbs.hpp"

#include <string>

namespace plenk::media {

namespace {
[[noreturn]] void unbuilt(const std::string& verb) {
  throw MediaError(Code::Work, "this plenk-media cannot " + verb + " yet");
}
} // namespace

Json verbFrames(Media&, const Options&) {
  unbuilt("frames");
}
Json verbAudio(Media&, const Options&) {
  unbuilt("audio");
}
Json verbPick(Media&, const Options&) {
  unbuilt("pick");
}

} // namespace plenk::media
