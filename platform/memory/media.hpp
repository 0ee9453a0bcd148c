// Recordings scripted in memory: facts, pictures that fail on request, and exports that end as
// the test says. Files that were not scripted open without tracks.
#pragma once

#include "platform/media.hpp"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace plenk {

struct ScriptedRecording {
  RecordingFacts facts;
  // Pictures are a flat grey of the first picture track's size, fitted into the asked square.
  // Requests are counted from 0 across the recording's life; these ones give nothing.
  std::set<int> failingPictures;
  bool canExport = true;
  // How exports end. The bytes are written to the path (never replacing a file) before the
  // outcome is given, also when it is a failure, as a half-done export would leave them.
  ExportOutcome exportOutcome{true, std::nullopt};
  std::string exportBytes = "scripted m4a";
  // What the exported file opens as afterwards; by default one sound track of the asked length.
  std::optional<RecordingFacts> exportedFacts;
};

struct MemoryRecordings final : Recordings {
  std::map<std::string, ScriptedRecording> files;

  // What was asked, in order: every picture request (moment, edge) and every export (path,
  // seconds), across all recordings opened.
  struct PictureRequest {
    double seconds;
    int maxEdge;
  };
  struct ExportRequest {
    std::string path;
    double seconds;
  };
  std::vector<PictureRequest> pictureRequests;
  std::vector<ExportRequest> exportRequests;
  int opened = 0;

  std::unique_ptr<Recording> open(const std::string& path) override;
};

} // namespace plenk
