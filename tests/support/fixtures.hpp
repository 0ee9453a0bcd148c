// Test fixtures made at test time: a temporary folder that cleans up after itself, and the
// ffmpeg and ffprobe command-line tools.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace plenk::testing {

struct TempDir {
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "plenk-test.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

// Runs ffmpeg quietly with the arguments; true when it succeeded.
inline bool ffmpeg(const std::string& args) {
  return std::system(("ffmpeg -nostdin -v error -y " + args + " </dev/null").c_str()) == 0;
}

// What ffprobe prints for the arguments (entries of -show_entries, one "key=value" a line).
inline std::string ffprobe(const std::string& args) {
  std::string out;
  FILE* pipe = ::popen(("ffprobe -v error " + args).c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
    out.append(buf, n);
  ::pclose(pipe);
  return out;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
  if (!f) throw std::runtime_error("cannot write " + path);
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace plenk::testing
