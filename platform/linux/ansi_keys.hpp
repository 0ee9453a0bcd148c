// The logic's key table on Linux: each ANSI key position with the keysym it carries on a US
// layout and its key code on an evdev keyboard (X11 and XKB numbering: evdev code + 8), and the
// modifier keys in the order they go down. Shared by the X11 and the Wayland input.
#pragma once

#include "platform/input_events.hpp" // the modifier flags

#include <X11/keysym.h>
#include <cstdint>

namespace plenk::keys {

// One key of the logic's table: its ANSI position, the keysym it carries on a US layout, and its
// key code on an evdev keyboard (the fallback when no key of the active layout carries the keysym).
struct AnsiKey {
  std::uint16_t code;
  std::uint32_t keysym;
  std::uint8_t evdev;
};

inline constexpr AnsiKey ANSI_KEYS[] = {
    {0, XK_a, 38},         {1, XK_s, 39},          {2, XK_d, 40},
    {3, XK_f, 41},         {4, XK_h, 43},          {5, XK_g, 42},
    {6, XK_z, 52},         {7, XK_x, 53},          {8, XK_c, 54},
    {9, XK_v, 55},         {11, XK_b, 56},         {12, XK_q, 24},
    {13, XK_w, 25},        {14, XK_e, 26},         {15, XK_r, 27},
    {16, XK_y, 29},        {17, XK_t, 28},         {18, XK_1, 10},
    {19, XK_2, 11},        {20, XK_3, 12},         {21, XK_4, 13},
    {22, XK_6, 15},        {23, XK_5, 14},         {24, XK_equal, 21},
    {25, XK_9, 18},        {26, XK_7, 16},         {27, XK_minus, 20},
    {28, XK_8, 17},        {29, XK_0, 19},         {30, XK_bracketright, 35},
    {31, XK_o, 32},        {32, XK_u, 30},         {33, XK_bracketleft, 34},
    {34, XK_i, 31},        {35, XK_p, 33},         {36, XK_Return, 36},
    {37, XK_l, 46},        {38, XK_j, 44},         {39, XK_apostrophe, 48},
    {40, XK_k, 45},        {41, XK_semicolon, 47}, {42, XK_backslash, 51},
    {43, XK_comma, 59},    {44, XK_slash, 61},     {45, XK_n, 57},
    {46, XK_m, 58},        {47, XK_period, 60},    {48, XK_Tab, 23},
    {49, XK_space, 65},    {50, XK_grave, 49},     {51, XK_BackSpace, 22},
    {53, XK_Escape, 9},    {122, XK_F1, 67},       {120, XK_F2, 68},
    {99, XK_F3, 69},       {118, XK_F4, 70},       {96, XK_F5, 71},
    {97, XK_F6, 72},       {98, XK_F7, 73},        {100, XK_F8, 74},
    {101, XK_F9, 75},      {109, XK_F10, 76},      {103, XK_F11, 95},
    {111, XK_F12, 96},     {115, XK_Home, 110},    {116, XK_Prior, 112},
    {117, XK_Delete, 119}, {119, XK_End, 115},     {121, XK_Next, 117},
    {123, XK_Left, 113},   {124, XK_Right, 114},   {125, XK_Down, 116},
    {126, XK_Up, 111},
};

inline const AnsiKey* ansiKey(std::uint16_t code) {
  for (const auto& key : ANSI_KEYS)
    if (key.code == code) return &key;
  return nullptr;
}

// Modifier keys in the order they go down (and reverse order up), with their evdev fallbacks.
struct ModifierKey {
  std::uint64_t flags;
  std::uint32_t keysym;
  std::uint8_t evdev;
};
inline constexpr ModifierKey MODIFIER_KEYS[] = {
    {FLAG_COMMAND | FLAG_CONTROL, XK_Control_L, 37},
    {FLAG_OPTION, XK_Alt_L, 64},
    {FLAG_SHIFT, XK_Shift_L, 50},
};

} // namespace plenk::keys
