// What every plenk-media verb is given: the platform services of this run, and the run's own
// state. Built once by the program (or a test) and passed in.
#pragma once

#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/files.hpp"
#include "platform/images.hpp"
#include "platform/media.hpp"
#include "platform/pdf.hpp"
#include "platform/picker.hpp"
#include "platform/recognition.hpp"
#include "platform/system.hpp"
#include "platform/timer.hpp"
#include "platform/wording.hpp"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

namespace plenk::media {

// Set by runMedia before any check; read by every end of the run.
struct RunState {
  std::string envelopeVerb;
  std::string envelopeNonce;
  // The once-guard: the first end (a verb's answer, stop, the deadline) to set it writes the
  // final line and ends the process; every other end waits for that.
  std::atomic<bool> ended{false};
  // Files being written under temporary names (see paths.hpp); every end removes those left.
  std::mutex temporariesLock;
  std::set<std::string> temporaries;
};

struct Media {
  Clock& clock;
  Files& files;
  System& system;
  Console& console;
  Timer& timer;
  Pdf& pdf;
  // Loads its engine at the first picture and keeps it for the rest of the run.
  Recogniser& recogniser;
  Images& images;
  Recordings& recordings;
  // The photo picker and its type registry; none where the system has no picker.
  Picker* picker = nullptr;
  FileTypes* fileTypes = nullptr;
  RunState run{};
  // The platform's words for the sentences that name the system; answers are written in them.
  Wording wording = macosWording();
};

} // namespace plenk::media
