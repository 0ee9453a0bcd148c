// One run of plenk-media: start-up, the command line, the deadline, dispatch and the one end.
#pragma once

#include "media/context.hpp"
#include "media/verbs.hpp"

#include <optional>
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

// How a job that ran in a watched child ended (see platform/linux/watched.hpp).
struct ChildJob {
  std::string_view out, err;
  std::optional<int> exitCode; // none when a signal ended it
};

// The parent's end of a watched job: the child's answer and diagnostic as it gave them, with the
// status its answer names; or, when it ended without an answer line, one answer of a failed job.
int answerForChild(Media& media, const std::vector<std::string>& args, const ChildJob& child);

} // namespace plenk::media
