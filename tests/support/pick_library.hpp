// Photographs and videos made at test time, for the picker's library: pictures through
// ImageMagick, clips through ffmpeg. Each returns false when the tool failed.
#pragma once

#include "tests/support/fixtures.hpp"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace plenk::testing {

inline bool magick(const std::string& args) {
  return std::system(("/usr/bin/convert " + args + " 2>/dev/null").c_str()) == 0;
}

// A landscape picture stored sideways: its orientation tag (6, turn clockwise to view) makes it
// upright a portrait of height x width.
inline bool sidewaysJpeg(const std::string& path, int width = 96, int height = 64) {
  if (!magick("-size " + std::to_string(width) + "x" + std::to_string(height) +
              " gradient:red-blue -quality 90 '" + path + "'"))
    return false;
  // ImageMagick writes no orientation tag into a picture it drew: an Exif segment of one entry
  // goes in right after the start marker.
  const std::string exif("\xFF\xE1\x00\x22"
                         "Exif\0\0MM\0\x2A\0\0\0\x08"
                         "\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0"
                         "\0\0\0\0",
                         36);
  std::string jpeg = readFile(path);
  if (jpeg.size() < 2) return false;
  writeFile(path, jpeg.substr(0, 2) + exif + jpeg.substr(2));
  return true;
}

// Any picture format ImageMagick writes, from the extension of path (jpg, png, gif, tiff,
// webp, heic).
inline bool picture(const std::string& path, int width = 96, int height = 64,
                    const std::string& colour = "green") {
  return magick("-size " + std::to_string(width) + "x" + std::to_string(height) + " xc:" + colour +
                " '" + path + "'");
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
