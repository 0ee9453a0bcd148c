#include "platform/linux/workspace_entries.hpp"

#include "platform/text.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <limits.h>
#include <unistd.h>
#include <unordered_set>

namespace plenk::desktop_entries {

namespace {

constexpr std::string_view LISTED_SUFFIX = ".app";
constexpr std::string_view ALIAS_SUFFIX = ".APP";
constexpr std::string_view DESKTOP_SUFFIX = ".desktop";

// Base names of the Chromium browsers' commands.
constexpr std::array<std::string_view, 13> CHROMIUM_COMMANDS{"chromium",
                                                             "chromium-browser",
                                                             "google-chrome",
                                                             "google-chrome-stable",
                                                             "google-chrome-beta",
                                                             "google-chrome-unstable",
                                                             "brave-browser",
                                                             "brave-browser-stable",
                                                             "microsoft-edge",
                                                             "microsoft-edge-stable",
                                                             "vivaldi",
                                                             "vivaldi-stable",
                                                             "opera"};

std::string baseName(std::string_view path) {
  if (auto slash = path.rfind('/'); slash != path.npos) path.remove_prefix(slash + 1);
  return std::string(path);
}

bool inBundleFolder(std::string_view location) {
  return location.size() > BUNDLE_FOLDER.size() && location.starts_with(BUNDLE_FOLDER) &&
         location[BUNDLE_FOLDER.size()] == '/';
}

std::string withoutDesktopSuffix(std::string_view id) {
  if (id.ends_with(DESKTOP_SUFFIX)) id.remove_suffix(DESKTOP_SUFFIX.size());
  return std::string(id);
}

// A name that can stand as a bundle's file name: a slash would make it a path.
bool bundleNameFits(std::string_view name) {
  return !name.empty() && name.find('/') == name.npos && name.find('\0') == name.npos &&
         text::isValidUtf8(name);
}

std::size_t folderRank(const std::string& file, const std::vector<std::string>& folders) {
  for (std::size_t i = 0; i < folders.size(); ++i)
    if (file.starts_with(folders[i] + "/")) return i;
  return folders.size();
}

} // namespace

std::vector<std::string> applicationFolders() {
  std::vector<std::string> folders{std::string(g_get_user_data_dir()) + "/applications"};
  for (const char* const* dir = g_get_system_data_dirs(); dir && *dir; ++dir) {
    std::string folder = std::string(*dir) + "/applications";
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  }
  return folders;
}

bool isInterpreter(std::string_view name) {
  static constexpr std::array<std::string_view, 22> EXACT{"sh",       "bash",
                                                          "dash",     "zsh",
                                                          "env",      "node",
                                                          "nodejs",   "java",
                                                          "gjs",      "mono",
                                                          "wine",     "flatpak",
                                                          "snap",     "sudo",
                                                          "pkexec",   "xdg-open",
                                                          "exo-open", "gtk-launch",
                                                          "gio",      "dbus-launch",
                                                          "nohup",    "sensible-terminal"};
  static constexpr std::array<std::string_view, 6> PREFIXES{"python", "perl", "ruby",
                                                            "lua",    "php",  "tclsh"};
  if (std::find(EXACT.begin(), EXACT.end(), name) != EXACT.end()) return true;
  return std::any_of(PREFIXES.begin(), PREFIXES.end(),
                     [&](std::string_view p) { return name.starts_with(p); });
}

std::string processExecutable(int pid) {
  if (pid <= 0) return {};
  std::string proc = "/proc/" + std::to_string(pid);
  char target[PATH_MAX];
  ssize_t n = readlink((proc + "/exe").c_str(), target, sizeof target - 1);
  if (n > 0) {
    std::string path(target, static_cast<std::size_t>(n));
    constexpr std::string_view DELETED = " (deleted)";
    if (path.ends_with(DELETED)) path.resize(path.size() - DELETED.size());
    return baseName(path);
  }
  // Another user's process: its short command name is all there is.
  std::ifstream comm(proc + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

bool descendsFrom(int pid, int ancestor) {
  if (pid <= 0 || ancestor <= 0) return false;
  for (int depth = 0; depth < 32 && pid > 1; ++depth) {
    if (pid == ancestor) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // The command name in parentheses may hold spaces; the parent id is the second field after it.
    auto close = line.rfind(')');
    if (close == line.npos || close + 4 > line.size()) return false;
    auto start = line.find(' ', close + 2);
    if (start == line.npos) return false;
    pid = std::atoi(line.c_str() + start + 1);
  }
  return pid == ancestor;
}

Catalogue loadCatalogue() {
  std::vector<std::string> folders = applicationFolders();
  struct Ranked {
    std::size_t rank;
    Entry entry;
  };
  std::vector<Ranked> found;
  GList* all = g_app_info_get_all();
  for (GList* item = all; item; item = item->next) {
    auto* info = static_cast<GAppInfo*>(item->data);
    if (!G_IS_DESKTOP_APP_INFO(info) || !g_app_info_should_show(info)) continue;
    auto* desktop = G_DESKTOP_APP_INFO(info);
    const char* id = g_app_info_get_id(info);
    const char* file = g_desktop_app_info_get_filename(desktop);
    const char* name = g_app_info_get_name(info);
    if (!id || !file || !name) continue;
    Entry e;
    e.id = withoutDesktopSuffix(id);
    e.name = name;
    e.file = file;
    if (const char* exe = g_app_info_get_executable(info)) {
      e.executable = baseName(exe);
      e.chromium = std::find(CHROMIUM_COMMANDS.begin(), CHROMIUM_COMMANDS.end(), e.executable) !=
                   CHROMIUM_COMMANDS.end();
      if (isInterpreter(e.executable)) e.executable.clear();
    }
    if (const char* wmClass = g_desktop_app_info_get_startup_wm_class(desktop))
      e.startupWMClass = wmClass;
    found.push_back({folderRank(e.file, folders), std::move(e)});
  }
  g_list_free_full(all, g_object_unref);
  std::stable_sort(found.begin(), found.end(), [](const Ranked& a, const Ranked& b) {
    return a.rank != b.rank ? a.rank < b.rank : a.entry.id < b.entry.id;
  });

  Catalogue catalogue;
  // Names first, so that an alias never takes a name that an entry's Name holds.
  std::unordered_set<std::string> taken;
  for (auto& ranked : found) {
    Entry& e = ranked.entry;
    if (bundleNameFits(e.name) && taken.insert(text::lower(e.name)).second)
      e.location = std::string(BUNDLE_FOLDER) + "/" + e.name + std::string(LISTED_SUFFIX);
    else
      e.location = e.file;
    catalogue.entries.push_back(std::move(e));
  }
  for (auto& e : catalogue.entries)
    for (const std::string& alias : {e.id, e.executable})
      if (bundleNameFits(alias) && taken.insert(text::lower(alias)).second)
        e.aliases.push_back(alias);
  return catalogue;
}

const Entry* Catalogue::byLocation(std::string_view path) const {
  for (const auto& e : entries)
    if (e.location == path || e.file == path) return &e;
  if (!inBundleFolder(path)) return nullptr;
  std::string_view last = path.substr(BUNDLE_FOLDER.size() + 1);
  std::string lowered = text::lower(last);
  if (!lowered.ends_with(LISTED_SUFFIX) || last.find('/') != last.npos) return nullptr;
  std::string stem = lowered.substr(0, lowered.size() - LISTED_SUFFIX.size());
  for (const auto& e : entries)
    if (inBundleFolder(e.location) && text::lower(e.name) == stem) return &e;
  for (const auto& e : entries)
    for (const auto& alias : e.aliases)
      if (text::lower(alias) == stem) return &e;
  return nullptr;
}

const Entry* Catalogue::byId(std::string_view id) const {
  std::string wanted = withoutDesktopSuffix(id);
  if (wanted.empty()) return nullptr;
  for (const auto& e : entries)
    if (e.id == wanted) return &e;
  std::string lowered = text::lower(wanted);
  for (const auto& e : entries)
    if (text::lower(e.id) == lowered) return &e;
  return nullptr;
}

std::vector<std::string> Catalogue::listing() const {
  std::vector<std::string> names;
  for (const auto& e : entries)
    if (inBundleFolder(e.location)) names.push_back(baseName(e.location));
  for (const auto& e : entries)
    for (const auto& alias : e.aliases)
      names.push_back(alias + std::string(ALIAS_SUFFIX));
  return names;
}

const Entry* Catalogue::forWindow(const ewmh::WindowFacts& w, std::string_view executable) const {
  auto sameClass = [&](const std::string& name, bool anyCase) {
    if (name.empty()) return false;
    if (!anyCase) return name == w.windowClass || name == w.instance;
    std::string lowered = text::lower(name);
    return lowered == text::lower(w.windowClass) || lowered == text::lower(w.instance);
  };
  for (bool anyCase : {false, true})
    for (const auto& e : entries)
      if (sameClass(e.startupWMClass, anyCase)) return &e;
  if (!w.appId.empty())
    if (const Entry* e = byId(w.appId)) return e;
  for (const auto& e : entries)
    if (sameClass(e.id, true)) return &e;
  if (!executable.empty() && !isInterpreter(executable))
    for (const auto& e : entries)
      if (e.executable == executable) return &e;
  return nullptr;
}

} // namespace plenk::desktop_entries
