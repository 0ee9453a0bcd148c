#include "platform/linux/workspace_entries.hpp"

#include "platform/text.hpp"

#include <algorithm>
#include <array>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <limits.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace plenk::desktop_entries {

namespace {

constexpr std::string_view LISTED_SUFFIX = ".app";
constexpr std::string_view DESKTOP_SUFFIX = ".desktop";
// Subfolders of an applications folder that are read (their entries' ids carry the path).
constexpr int MAX_FOLDER_DEPTH = 4;

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
  return std::filesystem::path(path).filename().string();
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

namespace {

// What tells that a file changed: an entry parsed before is parsed again only when its file is
// another one or was written since. The folders are still listed on every call.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modifiedNs = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

FileStamp stampOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size,
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

// A parsed entry: none when the menu does not show it (hidden, NoDisplay, not for this desktop).
struct Parsed {
  FileStamp stamp;
  std::optional<Entry> entry;
};

std::optional<Parsed> parse(const std::string& file, const std::string& id, FileStamp stamp) {
  GDesktopAppInfo* desktop = g_desktop_app_info_new_from_filename(file.c_str());
  if (!desktop) return std::nullopt; // malformed, not an application, or its command is missing
  Parsed parsed{stamp, std::nullopt};
  auto* info = G_APP_INFO(desktop);
  const char* name = g_app_info_get_name(info);
  if (!g_desktop_app_info_get_is_hidden(desktop) && g_app_info_should_show(info) && name) {
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
    parsed.entry = std::move(e);
  }
  g_object_unref(desktop);
  return parsed;
}

// The desktop files below `folder`, with their desktop ids (the path inside it, "/" made "-").
struct Found {
  std::string id;   // desktop id, ".desktop" included
  std::string file; // its path
  FileStamp stamp;
};

void scan(const std::string& folder, const std::string& prefix, int depth,
          std::vector<Found>& out) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return; // unreadable or missing: as if empty
  std::vector<std::string> names;
  while (dirent* d = readdir(dir)) {
    std::string name = d->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    std::string path = folder + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode) && depth < MAX_FOLDER_DEPTH)
      scan(path, prefix + name + "-", depth + 1, out);
    else if (S_ISREG(st.st_mode) && name.ends_with(DESKTOP_SUFFIX))
      out.push_back({prefix + name, path, stampOf(st)});
  }
}

} // namespace

Catalogue loadCatalogue() {
  // The folders are listed on every call rather than through g_app_info_get_all, whose index is
  // refreshed by a file monitor a moment after a change: an entry installed just now must count.
  // Only the parsing of files that did not change is saved.
  static std::mutex lock;
  static std::map<std::string, Parsed> cache;
  std::lock_guard guard(lock);
  std::vector<Entry> found;
  std::unordered_set<std::string> seen, visited;
  for (const auto& folder : applicationFolders()) {
    std::vector<Found> files;
    scan(folder, "", 0, files);
    for (const auto& f : files) {
      // The first folder that holds an id decides for it, also when it hides it.
      if (!seen.insert(f.id).second) continue;
      // Keyed by id and file: the same file read under another id is another entry.
      std::string key = f.id + '\n' + f.file;
      visited.insert(key);
      auto it = cache.find(key);
      if (it == cache.end() || !(it->second.stamp == f.stamp)) {
        auto parsed = parse(f.file, f.id, f.stamp);
        // A refused entry is not kept: its command may be installed later.
        if (!parsed) {
          if (it != cache.end()) cache.erase(it);
          continue;
        }
        it = cache.insert_or_assign(key, std::move(*parsed)).first;
      }
      if (it->second.entry) found.push_back(*it->second.entry);
    }
  }
  std::erase_if(cache, [&](const auto& item) { return !visited.count(item.first); });

  Catalogue catalogue;
  // Names first, so that an alias never takes a name that an entry's Name holds.
  std::unordered_set<std::string> taken;
  for (auto& e : found) {
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
  // Java's AWT names a window's class after the program's main class, its dots as dashes
  // ("org-gjt-sp-jedit-jEdit"), whatever the entry says: the class's own name is the program's.
  std::string own = text::lower(w.windowClass.substr(w.windowClass.rfind('-') + 1));
  if (executable == "java" && !own.empty())
    for (const auto& e : entries)
      if (own == text::lower(e.id) || own == text::lower(e.startupWMClass) || own == e.executable)
        return &e;
  return nullptr;
}

} // namespace plenk::desktop_entries
