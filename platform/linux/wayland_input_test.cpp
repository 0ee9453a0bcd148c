#include "platform/linux/ansi_keys.hpp"
#include "platform/linux/session.hpp"
#include "platform/linux/wayland_input.hpp"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

namespace plenk {
namespace {

// The keymap that the virtual keyboard uploads compiles as the compositor compiles it, with the
// typed characters on the first character keys, the US levels on the other ANSI keys and the
// modifiers where the masks that are sent expect them (Shift 0, Control 2, Mod1 3).
TEST(WaylandKeymap, CompilesWithEveryTypedCharacterOnItsOwnKey) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> levels;
  for (const auto& key : keys::ANSI_KEYS)
    levels.push_back({key.keysym, key.code == 0 ? XKB_KEY_A : 0});
  const std::vector<std::uint32_t> typing{xkb_utf32_to_keysym(U'é'), xkb_utf32_to_keysym(U'Ω'),
                                          xkb_utf32_to_keysym(U'😀'), xkb_utf32_to_keysym(U'日'),
                                          XKB_KEY_A};
  std::string text = wayland_keys::keymap(levels, typing);
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  ASSERT_NE(context, nullptr);
  xkb_keymap* keymap = xkb_keymap_new_from_string(context, text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                  XKB_KEYMAP_COMPILE_NO_FLAGS);
  ASSERT_NE(keymap, nullptr) << text;
  auto symAt = [&](unsigned code, unsigned level) -> std::uint32_t {
    const xkb_keysym_t* syms = nullptr;
    return xkb_keymap_key_get_syms_by_level(keymap, code, 0, level, &syms) == 1 ? syms[0] : 0;
  };
  for (std::size_t i = 0; i < typing.size(); ++i) {
    EXPECT_EQ(symAt(wayland_keys::TYPING_CODES[i], 0), typing[i]) << i;
    // One level only: a capital stays a capital, whatever the modifiers.
    EXPECT_EQ(xkb_keymap_num_levels_for_key(keymap, wayland_keys::TYPING_CODES[i], 0), 1u);
  }
  EXPECT_EQ(symAt(keys::ansiKey(0)->evdev, 0), XKB_KEY_a);
  EXPECT_EQ(symAt(keys::ansiKey(0)->evdev, 1), XKB_KEY_A);
  EXPECT_EQ(symAt(keys::ansiKey(36)->evdev, 0), XKB_KEY_Return);
  EXPECT_EQ(xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT), 0u);
  EXPECT_EQ(xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_CTRL), 2u);
  EXPECT_EQ(xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_ALT), 3u);
  // The modifier keys change those modifiers.
  xkb_state* state = xkb_state_new(keymap);
  xkb_state_update_key(state, keys::MODIFIER_KEYS[0].evdev, XKB_KEY_DOWN);
  EXPECT_EQ(xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_DEPRESSED), 1);
  xkb_state_unref(state);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
}

TEST(SessionKind, TheCompositorComesBeforeXWaylandAndAnUnansweredSwaySocketCountsForNothing) {
  EXPECT_EQ(sessionKind({"wayland-1", "/run/sway.sock", ":0"}, true), SessionKind::sway);
  EXPECT_EQ(sessionKind({"wayland-1", "/run/sway.sock", ":0"}, false), SessionKind::wayland);
  EXPECT_EQ(sessionKind({"", "/run/sway.sock", ":0"}, false), SessionKind::x11);
  EXPECT_EQ(sessionKind({"", "", ""}, false), SessionKind::none);
}

} // namespace
} // namespace plenk
