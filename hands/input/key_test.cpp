#include "hands/constants.hpp"
#include "hands/error.hpp"
#include "hands/input/key.hpp"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace plenk::hands {
namespace {

struct Pressed {
  std::string key;
  std::uint16_t code;
  std::uint64_t flags;
};

TEST(ParseChord, PressesTheNamedKeyWithItsModifiers) {
  const Pressed cases[] = {
      {"cmd+s", 1, 0x100000},
      {"CMD + Shift + Z", 6, 0x100000 | 0x20000},
      {"return", 36, 0},
      {"enter", 36, 0},
      {"Enter", 36, 0},
      {"esc", 53, 0},
      {"escape", 53, 0},
      {"s+", 1, 0},
      {"cmd+cmd+c", 8, 0x100000},
      {"command+option+opt+alt+ctrl+control+f12", 111, 0x100000 | 0x80000 | 0x40000},
      {"\\", 42, 0},
      {"'", 39, 0},
      {"`", 50, 0},
      {"shift+=", 24, 0x20000},
      {"ctrl+-", 27, 0x40000},
      {"  pageup  ", 116, 0},
      {"F5", 96, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    Chord chord = parseChord(c.key);
    EXPECT_EQ(chord.code, c.code);
    EXPECT_EQ(chord.flags, c.flags);
  }
}

struct Refused {
  std::string key;
  std::string message;
};

TEST(ParseChord, RefusesWithTheMessageOfTheFirstFaultFound) {
  const Refused cases[] = {
      // After the trailing "+" goes, "cmd" is the key name.
      {"cmd+", "There is no key called cmd+."},
      {"cmd++", "There is no key called cmd++."},
      {"+", "There is no key called +."},
      {"cmd+shift", "There is no key called cmd+shift."},
      // The key is looked up first, and the message keeps the argument as received.
      {"Foo+Bar", "There is no key called Foo+Bar."},
      {"Cmd + Shift", "There is no key called Cmd + Shift."},
      {"hyper+s", "hyper is not a modifier (cmd, shift, alt, ctrl)."},
      {"fn+f1", "fn is not a modifier (cmd, shift, alt, ctrl)."},
      {"Hyper + S", "hyper is not a modifier (cmd, shift, alt, ctrl)."},
      // The empty part between the two "+" is a modifier name too.
      {"cmd++s", " is not a modifier (cmd, shift, alt, ctrl)."},
      {"+s", " is not a modifier (cmd, shift, alt, ctrl)."},
      // Only U+0020 is removed: a tab stays and spoils the name.
      {"cmd+\ts", "There is no key called cmd+\ts."},
      {"plus", "There is no key called plus."},
      {"keypad1", "There is no key called keypad1."},
      {" ", "There is no key called  ."},
      {"", "key must be a short string like cmd+s."},
      {std::string(61, 'a'), "key must be a short string like cmd+s."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    try {
      parseChord(c.key);
      ADD_FAILURE() << "accepted";
    } catch (const HandsError& e) {
      EXPECT_EQ(e.code, "bad_key");
      EXPECT_EQ(e.message, c.message);
    }
  }
}

TEST(ParseChord, CountsTheLengthInUserPerceivedCharacters) {
  // 60 characters of two code points each pass the length test and then name no key.
  std::string accented;
  for (int i = 0; i < 60; ++i)
    accented += "e\u0301";
  try {
    parseChord(accented);
    ADD_FAILURE() << "accepted";
  } catch (const HandsError& e) {
    EXPECT_EQ(e.message, "There is no key called " + accented + ".");
  }
  EXPECT_THROW(parseChord(accented + "e"), HandsError);
  // Exactly 60 is still short enough: spaces padding a real key.
  EXPECT_EQ(parseChord(std::string(57, ' ') + "esc").code, 53);
}

TEST(KeyTables, HoldEveryNameOnceAndNoModifierKey) {
  std::set<std::string_view> names;
  for (const auto& [name, code] : KEY_CODES)
    names.insert(name);
  EXPECT_EQ(names.size(), 76u);
  for (const auto& [name, flag] : MODIFIERS)
    EXPECT_FALSE(names.count(name)) << name;
  EXPECT_FALSE(names.count("+"));
  EXPECT_FALSE(names.count("fn"));
}

} // namespace
} // namespace plenk::hands
