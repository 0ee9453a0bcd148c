// Installed applications are desktop entries, read through GIO; this is the one place where they
// are presented as the bundles that application resolution and listing look for.
//
// - Every entry the menu shows (GIO's should-show: no NoDisplay, no Hidden, applications only)
//   is a bundle named "<Name>.app" inside the one folder BUNDLE_FOLDER ("/Applications"), so its
//   location is "/Applications/<Name>.app" and the name taken from the location is its Name.
//   The workspace maps that location back to the entry's file. When two entries share a Name
//   (in any case), the first in the desktop-id order of the data folders owns it and the others'
//   location is their entry file.
// - Its identifier is the desktop file id without ".desktop" ("org.gnome.TextEditor").
// - The desktop id and the command's name are other names the entry answers to (the
//   workspace's installedApplications gives them with it); resolution by one of them still
//   answers the entry's Name, and the list of installed applications names only the Name.
// - The other application folders ("/Applications/Utilities", "/System/Applications", ...) are
//   present and empty; any other folder is listed from the disk.
#pragma once

#include "platform/linux/ewmh.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plenk::desktop_entries {

inline constexpr std::string_view BUNDLE_FOLDER = "/Applications";

struct Entry {
  std::string id;                   // desktop file id without ".desktop"
  std::string name;                 // Name, as the menu shows it
  std::string file;                 // the entry's file
  std::string executable;           // base name of the command; "" for an interpreter or env
  std::string startupWMClass;       // StartupWMClass, "" when absent
  std::string location;             // the bundle location the logic sees
  std::vector<std::string> aliases; // other names it answers to (its id, its command)
  bool chromium = false;            // a Chromium browser (launched with accessibility on)
};

// The visible entries at the moment of asking, in the order of their data folders (the user's
// first) and then of their desktop ids.
struct Catalogue {
  std::vector<Entry> entries;

  // The entry at a bundle location or an entry file; none otherwise.
  const Entry* byLocation(std::string_view path) const;
  // The entry with this id (".desktop" may follow; exact case first, then any case).
  const Entry* byId(std::string_view id) const;
  // The names inside BUNDLE_FOLDER: "<Name>.app" of each entry.
  std::vector<std::string> listing() const;
  // The entry of a window: StartupWMClass equal to its class or instance, then an application
  // id equal to a desktop id, then a class or instance equal to a desktop id (in any case), then
  // the executable of its process (never an interpreter's), then for a Java program the last
  // part of its class (AWT's class is the main class, "org-gjt-sp-jedit-jEdit").
  const Entry* forWindow(const ewmh::WindowFacts& window, std::string_view executable) const;
};

Catalogue loadCatalogue();

// Whether a command's base name runs other programs' code (python3.11, sh, env, ...): such a
// name says nothing about which application a process is.
bool isInterpreter(std::string_view baseName);

// The base name of a process's executable ("" when it cannot be read).
std::string processExecutable(int pid);

// Whether `pid` is `ancestor` or one of its descendants.
bool descendsFrom(int pid, int ancestor);

// The user's data folders' "applications" folders, the user's first (for tests and docs).
std::vector<std::string> applicationFolders();

} // namespace plenk::desktop_entries
