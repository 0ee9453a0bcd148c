// The verb handlers. Each runs on the main thread with the option map and either returns its
// result keys (runMedia adds "ok": true and the envelope) or throws a MediaError.
#pragma once

#include "media/context.hpp"
#include "media/frame/options.hpp"
#include "platform/json.hpp"

namespace plenk::media {

using VerbHandler = Json (*)(Media& media, const Options& opts);

Json verbProbe(Media& media, const Options& opts);
Json verbInspect(Media& media, const Options& opts);
Json verbPdfText(Media& media, const Options& opts);
Json verbOCR(Media& media, const Options& opts);
Json verbFrames(Media& media, const Options& opts);
Json verbAudio(Media& media, const Options& opts);
// Runs only where the system can pick (System::canPick); elsewhere the run ends E_UNSUPPORTED.
Json verbPick(Media& media, const Options& opts);

} // namespace plenk::media
