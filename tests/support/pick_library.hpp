// Photographs and videos made at test time, for the picker's library: pictures through
// ImageMagick, clips through ffmpeg. Each returns false when the tool failed.
#pragma once

#include "tests/support/fixtures.hpp"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>

namespace plenk::testing {

inline bool magick(const std::string& args) {
  return std::system(("/usr/bin/convert " + args + " 2>/dev/null").c_str()) == 0;
}

// A landscape picture stored sideways: its orientation tag (6, "RightTop") turns it upright
// into a portrait of height x width.
inline bool sidewaysJpeg(const std::string& path, int width = 96, int height = 64) {
  return magick("-size " + std::to_string(width) + "x" + std::to_string(height) +
                " gradient:red-blue -orient RightTop -quality 90 '" + path + "'");
}

// Any picture format ImageMagick writes, from the extension of path (jpg, png, gif, tiff,
// webp, heic).
inline bool picture(const std::string& path, int width = 96, int height = 64,
                    const std::string& colour = "green") {
  return magick("-size " + std::to_string(width) + "x" + std::to_string(height) + " xc:" +
                colour + " '" + path + "'");
}

// A short clip with sound, in the container that the extension of path names (mov, mp4, m4v,
// mkv, webm, avi).
inline bool clip(const std::string& path, double seconds = 1.0) {
  std::string codec = path.ends_with(".webm")  ? "-c:v libvpx -c:a libopus"
                      : path.ends_with(".avi") ? "-c:v mpeg4 -c:a mp3"
                                               : "-c:v libx264 -pix_fmt yuv420p -c:a aac";
  std::string format = path.ends_with(".m4v") ? " -f ipod" : "";
  return ffmpeg("-f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i sine=frequency=440 -t " +
                std::to_string(seconds) + " " + codec + format + " '" + path + "'");
}

// Sets a file's modification time, seconds before now: the library lists newest first.
inline void age(const std::string& path, int secondsAgo) {
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - secondsAgo;
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

} // namespace plenk::testing
