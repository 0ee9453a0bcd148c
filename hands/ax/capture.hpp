// Capturing the desktop as the reading verbs see it: the running applications, the one in front,
// each chosen application's elements with every attribute the verbs read, and the installed
// applications, as a snapshot that the scene writer turns into a scene (docs/scene.md, Capture).
#pragma once

#include "hands/context.hpp"
#include "platform/desktop_snapshot.hpp"

#include <string>
#include <vector>

namespace plenk::hands {

struct CaptureOptions {
  enum class Apps { all, front, named };
  Apps apps = Apps::all;
  std::string name; // Apps::named: a display name or bundle identifier, in any case
  bool redact = false;
};

// An attribute of the application element that no verb reads: where and why its capture stopped
// short of the whole tree.
inline constexpr std::string_view CAPTURE_CUT = "AXCaptureCut";

struct Capture {
  DesktopSnapshot snapshot;
  std::vector<std::string> cuts; // one line per application cut short, naming it
};

// Reads each chosen application the way a walk does, within a walk's budget per window (its
// focused window first, then the others together): MAX_VISITS elements, MAX_DEPTH levels,
// WALK_SECONDS. A password field's value is never read, nor anything inside it. With `redact`,
// every text read is replaced by text::redact's. Throws HandsError "no_permission" without
// accessibility trust and "not_found" when no running application has the name asked for.
Capture captureDesktop(Hands& hands, const CaptureOptions& options);

} // namespace plenk::hands
