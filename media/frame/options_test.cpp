#include "media/frame/errors.hpp"
#include "media/frame/options.hpp"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace plenk::media {
namespace {

std::string usageMessage(auto&& call) {
  try {
    call();
  } catch (const MediaError& e) {
    EXPECT_EQ(e.code, Code::Usage);
    return e.message;
  }
  return "";
}

TEST(ParseArgs, GrammarFaultsAreFoundLeftToRight) {
  struct Case {
    std::vector<std::string> args;
    std::string message; // "" when the line parses
  };
  const std::string verbFirst = "the first argument must be a verb: probe, inspect, pdftext, "
                                "ocr, frames, audio or pick";
  const Case cases[] = {
      {{}, verbFirst},
      {{"--in", "a.pdf"}, verbFirst},
      {{"-x"}, verbFirst},
      {{"scan", "--bogus", "1"}, "unknown option --bogus"},
      {{"probe", "--colour", "red", "--pages"}, "unknown option --colour"},
      {{"ocr", "--nonce", "k2", "--pages"}, "option --pages was given with no value"},
      {{"ocr", "--pages", "2", "--IN", "x"}, "unknown option --IN"},
      {{"ocr", "in", "x"}, "unknown option in"},
      {{"anything"}, ""},
      {{"ocr", "--in", "--out"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    EXPECT_EQ(usageMessage([&] { parseArgs(c.args); }), c.message);
  }
}

TEST(ParseArgs, ValuesAreVerbatimAndTheLastRepeatWins) {
  auto line = parseArgs(
      {"frames", "--in", "--out", "--count", "2", "--count", "-3", "--nonce", "a", "--nonce", "b"});
  EXPECT_EQ(line.verb, "frames");
  EXPECT_EQ(line.opts.at("--in"), "--out");
  EXPECT_EQ(line.opts.at("--count"), "-3");
  EXPECT_EQ(line.opts.at("--nonce"), "b");
  EXPECT_FALSE(line.opts.contains("--out"));
}

TEST(IntOpt, AcceptedSpellingsAreParsedAndClamped) {
  struct Case {
    std::string text;
    std::int64_t expected;
  };
  const Case cases[] = {
      {"700", 700},
      {"+700", 700},
      {"0700", 700},
      {"-5", 500},
      {"100", 500},
      {"9999999", 600000},
      {"-9223372036854775808", 500},
      {"9223372036854775807", 600000},
      {"000000000000000000000000600", 600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(intOpt({{"--deadline", c.text}}, "--deadline", 120000, 500, 600000), c.expected);
  }
  // Absent: the default, not clamped.
  EXPECT_EQ(intOpt({}, "--deadline", 7, 500, 600000), 7);
}

TEST(IntOpt, RefusesWhatIsNotAWholeNumber) {
  for (std::string text :
       {"", "1.5", " 7", "7 ", "+", "-", "+-5", "-+5", "++5", "1e3", "0x10", "1_000",
        "9223372036854775808", "-9223372036854775809", "99999999999999999999", "\xD9\xA1", "abc"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(usageMessage([&] {
                intOpt({{"--pages", text}}, "--pages", 10, 1, 50);
              }),
              "--pages must be a whole number");
  }
}

// A locale whose decimal separator is a comma, made for the test when none is installed.
struct CommaLocale {
  CommaLocale() {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) {
      active = true;
      return;
    }
    char dir[] = "/tmp/plenk-locale-XXXXXX";
    if (!::mkdtemp(dir)) return;
    std::string made = std::string(dir) + "/de_DE.UTF-8";
    std::string command = "localedef -i de_DE -f UTF-8 " + made + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
    ::setenv("LOCPATH", dir, 1);
    active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    made = dir;
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, "C");
    if (!made.empty()) std::filesystem::remove_all(made);
  }
  bool active = false;
  std::string made;
};

void checkRealSpellings() {
  struct Case {
    std::string text;
    std::optional<double> expected; // nothing: refused
  };
  const Case cases[] = {
      {"0.5", 0.5}, {"5e-1", 0.5},     {"0x1p-1", 0.5}, {"+0.5", 0.5},   {".5", 0.5},
      {"0.3", 0.4}, {"7", 1.0},        {"-1e300", 0.4}, {"1e-400", 0.4}, {"INF", std::nullopt},
      {" 0.5", {}}, {"0.5 ", {}},      {"\t0.5", {}},   {"\n0.5", {}},   {"abc", {}},
      {"inf", {}},  {"-infinity", {}}, {"nan", {}},     {"nan(1)", {}},  {"1e999", {}},
      {"", {}},     {"0,5", {}},       {"0.5x", {}},    {"--0.5", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Options opts{{"--quality", c.text}};
    if (c.expected) {
      EXPECT_EQ(doubleOpt(opts, "--quality", 0.82, 0.4, 1.0), *c.expected);
    } else {
      EXPECT_EQ(usageMessage([&] { doubleOpt(opts, "--quality", 0.82, 0.4, 1.0); }),
                "--quality must be a number");
    }
  }
  EXPECT_EQ(doubleOpt({}, "--quality", 7.5, 0.4, 1.0), 7.5);
}

TEST(DoubleOpt, SpellingsInThePosixLocale) {
  checkRealSpellings();
}

TEST(DoubleOpt, SpellingsUnderACommaLocale) {
  CommaLocale comma;
  ASSERT_TRUE(comma.active) << "no locale with a decimal comma could be made";
  ASSERT_EQ(std::localeconv()->decimal_point, std::string(","));
  checkRealSpellings();
}

} // namespace
} // namespace plenk::media
