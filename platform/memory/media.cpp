#include "platform/memory/media.hpp"

#include "platform/fd.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace plenk {
namespace {

class MemoryRecording final : public Recording {
public:
  MemoryRecording(MemoryRecordings& owner, ScriptedRecording script)
      : owner_(owner), script_(std::move(script)) {}

  RecordingFacts facts() override { return script_.facts; }

  std::optional<Picture> pictureAt(double seconds, int maxEdge) override {
    int request = asked_++;
    owner_.pictureRequests.push_back({seconds, maxEdge});
    const RecordingFacts& f = script_.facts;
    if (f.videoTracks < 1 || script_.failingPictures.count(request) > 0 || maxEdge < 1)
      return std::nullopt;
    double w = std::max(1.0, std::fabs(f.width)), h = std::max(1.0, std::fabs(f.height));
    double scale = std::min(1.0, maxEdge / std::max(w, h));
    Picture p;
    p.width = std::max(1, static_cast<int>(std::lround(w * scale)));
    p.height = std::max(1, static_cast<int>(std::lround(h * scale)));
    p.rgb.assign(static_cast<std::size_t>(p.width) * p.height * 3, 128);
    return p;
  }

  bool canExportSound() override { return script_.facts.audioTracks > 0 && script_.canExport; }

  ExportOutcome exportSound(const std::string& path, double seconds) override {
    owner_.exportRequests.push_back({path, seconds});
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd) return {false, std::string(std::strerror(errno))};
    bool written = writeAll(fd.get(), script_.exportBytes) && fd.close();
    if (!written) return {false, std::string("the scripted bytes could not be written")};
    RecordingFacts exported;
    exported.audioTracks = 1;
    exported.duration = exported.soundDuration = seconds;
    owner_.files[path].facts = script_.exportedFacts.value_or(exported);
    return script_.exportOutcome;
  }

private:
  MemoryRecordings& owner_;
  ScriptedRecording script_;
  int asked_ = 0;
};

} // namespace

std::unique_ptr<Recording> MemoryRecordings::open(const std::string& path) {
  ++opened;
  auto found = files.find(path);
  ScriptedRecording script = found != files.end() ? found->second : ScriptedRecording{};
  return std::make_unique<MemoryRecording>(*this, std::move(script));
}

} // namespace plenk
