// The keys of the keyboard layout that a compositor types with (GNOME's Mutter, KDE's KWin): which
// key and level give each keysym, compiled from the layout's XKB names. Shared by the input
// backends that must type through the user's own layout, with what they do alike for characters
// it lacks (GTK's Unicode entry).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace plenk::layout {

// A key that gives a keysym: its XKB key code (evdev code + 8) and the modifiers of its level.
struct Key {
  std::uint32_t code = 0;
  bool shift = false;
  bool altGr = false; // the third level's shift (ISO_Level3_Shift, the right Alt key)
};

// Each keysym of a layout with the first key (lowest level) that gives it; empty where the
// layout cannot be compiled.
struct Keys {
  std::map<std::uint32_t, Key> bySym;
  const Key* find(std::uint32_t sym) const {
    auto it = bySym.find(sym);
    return it == bySym.end() ? nullptr : &it->second;
  }
  bool has(std::uint32_t sym) const { return bySym.count(sym) != 0; }
};

// The layout named by XKB's rule names ("us", "de" with variant "nodeadkeys", ...); a US layout
// where `layout` is empty.
Keys compile(const std::string& layout, const std::string& variant = "",
             const std::string& options = "");

// The keysym that types a character: Tab and Return for a tab and a line end, 0 for other
// control characters (toolkits drop them anyway).
std::uint32_t symOf(char32_t cp);

// Whether a process draws its windows with GTK 3 or 4, whose text fields take Ctrl+Shift+U, the
// code point in hex and a space. A Qt program loads GTK 3 for its look on GNOME as well, and
// Chromium (and every program built on it) for its dialogs, but their fields would take the
// digits as text: they do not count.
bool runsGtk(int pid);

// Whether a process is Chromium or built on it (Electron, Qt WebEngine): each of them maps
// Chromium's ICU data. Its Wayland windows read a key's character as one UTF-16 unit, so a
// keysym beyond the Basic Multilingual Plane would type another character.
bool runsChromium(int pid);

// Whether a text can be typed through a layout: each character is in it, or the focused window
// takes GTK's Unicode entry (`focusedPid` asked once, when a character first needs it).
bool typeable(std::u16string_view text, const Keys& keys,
              const std::function<std::optional<int>()>& focusedPid);

} // namespace plenk::layout
