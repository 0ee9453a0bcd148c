#include "platform/linux/layout_keys.hpp"

#include "platform/linux/input_common.hpp"

#include <X11/keysym.h>
#include <fstream>
#include <xkbcommon/xkbcommon.h>

namespace plenk::layout {

Keys compile(const std::string& layout, const std::string& variant, const std::string& options) {
  Keys keys;
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (!context) return keys;
  std::string name = layout.empty() ? "us" : layout;
  xkb_rule_names names{"evdev", "pc105", name.c_str(), variant.c_str(), options.c_str()};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  if (keymap) {
    xkb_mod_index_t shift = xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
    xkb_mod_index_t level3 = xkb_keymap_mod_get_index(keymap, "Mod5");
    // Level by level over all keys, so that a keysym's plainest key wins.
    for (xkb_level_index_t level = 0; level < 4; ++level)
      for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap);
           code <= xkb_keymap_max_keycode(keymap); ++code) {
        if (level >= xkb_keymap_num_levels_for_key(keymap, code, 0)) continue;
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap, code, 0, level, &syms) != 1) continue;
        xkb_mod_mask_t masks[4] = {};
        if (xkb_keymap_key_get_mods_for_level(keymap, code, 0, level, masks, 4) < 1) continue;
        Key key{code, shift != XKB_MOD_INVALID && (masks[0] & (1u << shift)),
                level3 != XKB_MOD_INVALID && (masks[0] & (1u << level3))};
        // Only levels that Shift and the third level's shift reach.
        xkb_mod_mask_t known = (shift != XKB_MOD_INVALID ? 1u << shift : 0) |
                               (level3 != XKB_MOD_INVALID ? 1u << level3 : 0);
        if (masks[0] & ~known) continue;
        keys.bySym.emplace(syms[0], key);
      }
    xkb_keymap_unref(keymap);
  }
  xkb_context_unref(context);
  return keys;
}

std::uint32_t symOf(char32_t cp) {
  if (cp == U'\t') return XK_Tab;
  if (cp == U'\r' || cp == U'\n') return XK_Return;
  if (cp < 0x20 || (cp >= 0x7f && cp < 0xa0)) return 0;
  return xkb_utf32_to_keysym(cp);
}

namespace {

enum class Maps { other, gtk, qt, chromium };

Maps mapsOf(int pid) {
  if (pid <= 0) return Maps::other;
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string line;
  bool gtk = false;
  while (std::getline(maps, line)) {
    if (line.find("/libQt5Core.so") != std::string::npos ||
        line.find("/libQt6Core.so") != std::string::npos)
      return Maps::qt;
    if (line.ends_with("/icudtl.dat")) return Maps::chromium;
    gtk = gtk || line.find("/libgtk-3.so") != std::string::npos ||
          line.find("/libgtk-4.so") != std::string::npos;
  }
  return gtk ? Maps::gtk : Maps::other;
}

} // namespace

bool runsGtk(int pid) {
  return mapsOf(pid) == Maps::gtk;
}

bool runsChromium(int pid) {
  return mapsOf(pid) == Maps::chromium;
}

bool typeable(std::u16string_view text, const Keys& keys,
              const std::function<std::optional<int>()>& focusedPid) {
  std::optional<bool> gtk;
  for (char32_t cp : input::codePoints(text)) {
    std::uint32_t sym = symOf(cp);
    if (sym == 0 || keys.has(sym)) continue;
    if (!gtk) {
      auto pid = focusedPid();
      gtk = pid && runsGtk(*pid);
    }
    if (!*gtk) return false;
  }
  return true;
}

} // namespace plenk::layout
