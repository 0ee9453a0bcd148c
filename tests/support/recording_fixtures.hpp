// Small recordings for tests, each made by the ffmpeg tool the first time a test asks for it, into
// a temporary folder that goes when the test program ends.
#pragma once

#include "tests/support/fixtures.hpp"

#include <map>
#include <string>

namespace plenk::testing {

class RecordingFixtures {
public:
  // The path of the named fixture; empty when ffmpeg could not make it.
  std::string operator()(const std::string& name) {
    auto known = made_.find(name);
    if (known != made_.end()) return known->second ? dir_ / name : std::string();
    bool ok = make(name);
    made_[name] = ok;
    return ok ? dir_ / name : std::string();
  }

private:
  bool make(const std::string& name) {
    const std::string out = dir_ / name;
    const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 ";
    // 4 s of 320x240 at 25 fps with 3 s of AAC sound.
    if (name == "clip.mp4")
      return ffmpeg("-f lavfi -i testsrc=size=320x240:rate=25:duration=4 " + tone +
                    "-c:v libx264 -pix_fmt yuv420p -c:a aac " + out);
    if (name == "silent.mp4") // 2 s at 29.97 frames a second, no sound
      return ffmpeg("-f lavfi -i testsrc=size=320x240:rate=30000/1001:duration=2 -c:v libx264 "
                    "-pix_fmt yuv420p " +
                    out);
    if (name == "noise.mp4") // 1 s of 640x480 noise: large pictures in any encoding
      return ffmpeg("-f lavfi -i \"nullsrc=s=640x480:r=10:d=1,geq=random(1)*255:128:128\" "
                    "-c:v libx264 -crf 10 -pix_fmt yuv420p " +
                    out);
    if (name == "ramp.mp4") // frame N is grey 8N, 10 frames a second, one key frame, B-frames
      return ffmpeg("-f lavfi -i \"color=c=black:s=64x48:r=10:d=3,format=gray,geq=lum='N*8'\" "
                    "-c:v libx264 -crf 4 -g 30 -bf 3 -pix_fmt yuv420p " +
                    out);
    if (name == "marker.mp4") // 160x120, red top-left quadrant
      return ffmpeg("-f lavfi -i \"color=c=black:s=160x120:r=10:d=1,drawbox=x=0:y=0:w=80:h=60:"
                    "color=red:t=fill\" -c:v libx264 -pix_fmt yuv420p " +
                    out);
    // Rotated by the track's display matrix only; the ffmpeg tool's tag 270 gives a phone's
    // portrait clip (a quarter turn clockwise to view).
    if (name == "rot270.mp4" || name == "rot90.mp4")
      return !(*this)("marker.mp4").empty() &&
             ffmpeg("-i " + dir_ / "marker.mp4" + " -c copy -metadata:s:v:0 rotate=" +
                    (name == "rot270.mp4" ? "270 " : "90 ") + out);
    if (name == "tone.m4a") return ffmpeg(tone + "-c:a aac " + out);
    if (name == "tone.ogg") return ffmpeg(tone + "-c:a libvorbis " + out);
    if (name == "tone.caf") return ffmpeg(tone + "-c:a pcm_s16le " + out);
    if (name == "tone.aac") return ffmpeg(tone + "-c:a aac -f adts " + out);
    if (name == "tone.ts") return ffmpeg(tone + "-c:a aac -f mpegts " + out);
    if (name.starts_with("tone.")) return ffmpeg(tone + out); // mp3, wav, flac, aiff
    if (name == "still.jpg") return ffmpeg("-f lavfi -i color=c=blue:s=64x64 -frames:v 1 " + out);
    if (name == "cover.mp3")
      return !(*this)("still.jpg").empty() &&
             ffmpeg(tone + "-i " + dir_ / "still.jpg" +
                    " -map 0 -map 1 -c:v mjpeg -disposition:v attached_pic " + out);
    if (name == "live.webm") // written as a stream: no length in it
      return ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=2 -c:v libvpx -live 1 "
                    "-f webm pipe:1 > " +
                    out);
    if (name == "notes.txt")
      return writeFile(out, "these are plain notes, not a recording\n"), true;
    if (name == "empty.mp4") return writeFile(out, ""), true;
    if (name == "junk.mov") return writeFile(out, std::string(5000, '\x17')), true;
    return false;
  }

  TempDir dir_;
  std::map<std::string, bool> made_;
};

// One set per test program.
inline RecordingFixtures& recordingFixtures() {
  static RecordingFixtures fixtures;
  return fixtures;
}

} // namespace plenk::testing
