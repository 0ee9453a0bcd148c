// One run of plenk-media: start-up, the command line, the deadline, dispatch and the one end.
#pragma once

#include "media/context.hpp"
#include "media/verbs.hpp"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::media {

struct VerbEntry {
  std::string_view name;
  VerbHandler handler;
  bool needsPicker = false; // refused with E_UNSUPPORTED where System::canPick is false
};

// probe, inspect, pdftext, ocr, frames, audio, pick.
std::span<const VerbEntry> mediaVerbs();

// Runs the job on the calling thread. args: the process's arguments without the program path.
// With the real console it never returns; with an in-memory one it gives the exit status.
int runMedia(Media& media, const std::vector<std::string>& args,
             std::span<const VerbEntry> verbs = mediaVerbs());

} // namespace plenk::media
