#include "platform/linux/system.hpp"

#include "platform/linux/display.hpp"
#include "platform/linux/on_demand.hpp"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/utsname.h>

namespace plenk {

namespace linux_os {

namespace {

// The value of one os-release line: shell-style, optionally quoted, with backslash escapes.
std::string unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    char quote = v.front();
    v = v.substr(1, v.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
      if (quote == '"' && v[i] == '\\' && i + 1 < v.size()) ++i;
      out += v[i];
    }
    return out;
  }
  return std::string(v);
}

std::map<std::string, std::string> fields(std::string_view text) {
  std::map<std::string, std::string> out;
  std::istringstream in{std::string(text)};
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line.front() == '#') continue;
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string_view value = line;
    value.remove_prefix(eq + 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\r'))
      value.remove_suffix(1);
    out[line.substr(0, eq)] = unquote(value);
  }
  return out;
}

// Leading "major.minor" numbers of a version text; missing parts are 0.
std::pair<std::int64_t, std::int64_t> numbers(std::string_view v) {
  std::int64_t major = 0, minor = 0;
  auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), major);
  if (ec != std::errc{}) return {0, 0};
  if (p < v.data() + v.size() && *p == '.') {
    std::int64_t m = 0;
    auto [q, ec2] = std::from_chars(p + 1, v.data() + v.size(), m);
    if (ec2 == std::errc{}) minor = m;
  }
  return {major, minor};
}

std::string readFile(const char* path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

} // namespace

OsVersion fromOsRelease(std::string_view osRelease, std::string_view debianVersion) {
  auto f = fields(osRelease);
  OsVersion out;
  out.text = !f["PRETTY_NAME"].empty() ? f["PRETTY_NAME"] : f["NAME"];
  std::string id = f["VERSION_ID"];
  std::tie(out.major, out.minor) = numbers(id);
  std::string_view deb = debianVersion;
  while (!deb.empty() && (deb.back() == '\n' || deb.back() == ' '))
    deb.remove_suffix(1);
  if (f["ID"] == "debian" && !id.empty() && id.find('.') == std::string::npos &&
      deb.starts_with(id + ".")) {
    auto [major, minor] = numbers(deb);
    if (major == out.major) out.minor = minor;
  }
  return out;
}

} // namespace linux_os

namespace {

struct LinuxSystem final : System {
  OsVersion version() override {
    OsVersion v = linux_os::fromOsRelease(linux_os::readFile("/etc/os-release"),
                                          linux_os::readFile("/etc/debian_version"));
    if (!v.text.empty()) return v;
    // No os-release: the kernel's name and release.
    utsname u{};
    if (::uname(&u) != 0) return {"Linux", 0, 0};
    v.text = std::string(u.sysname) + " " + u.release;
    std::tie(v.major, v.minor) = linux_os::numbers(u.release);
    return v;
  }
  // The picker window needs its module and a display to show it on.
  bool canPick() override {
    std::error_code ec;
    return std::filesystem::exists(besideProgram(PICKER_MODULE), ec) && displayCanOpen();
  }
};

} // namespace

System& thisSystem() {
  static LinuxSystem system;
  return system;
}

} // namespace plenk
