#include "media/frame/run.hpp"
#include "media/frame/test_media.hpp"

#include <gtest/gtest.h>

namespace plenk::media {
namespace {

TEST(RunMedia, ProbeAnswersWithTheSystemAndTheDefaults) {
  TestMedia t;
  t.system.os = {"Test OS 14.2", 14, 2};
  t.system.pick = true;
  EXPECT_EQ(runMedia(t.media, {"probe", "--nonce", "abc", "--in", "/no/such/file"}), 0);
  EXPECT_EQ(t.line(), R"({"canPick":true,"defaults":{"frameCount":4,"maxBytes":400000,)"
                      R"("maxChars":200000,"maxEdge":1920,"pickLimit":8,"pickMaxEdge":1400},)"
                      R"("helper":"plenk-media","nonce":"abc","ok":true,"os":"Test OS 14.2",)"
                      R"("osMajor":14,"osMinor":2,"protocol":1,"verb":"probe","verbs":["probe",)"
                      R"("inspect","pdftext","ocr","frames","audio","pick"],"version":"1.0.0"})");
  EXPECT_TRUE(t.console.err.empty());
}

TEST(RunMedia, TheDeadlineIsArmedOnlyAfterTheCommandLineAndClamped) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::int64_t> armed;
  };
  const Case cases[] = {
      {{"probe"}, 120000},
      {{"probe", "--deadline", "100"}, 500},
      {{"probe", "--deadline", "9999999"}, 600000},
      {{"probe", "--deadline", "+700"}, 700},
      {{"probe", "--deadline", "0700"}, 700},
      {{"probe", "--deadline", "-5"}, 500},
      {{"nope", "--deadline", "800"}, 800}, // the verb is checked after the deadline
      {{"probe", "--deadline", "1.5"}, std::nullopt},
      {{"probe", "--deadline", ""}, std::nullopt},
      {{"probe", "--deadline", "99999999999999999999"}, std::nullopt},
      {{"probe", "--deadline"}, std::nullopt},
      {{"probe", "--bogus", "1", "--deadline", "800"}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    TestMedia t;
    runMedia(t.media, c.args);
    EXPECT_EQ(t.timer.millis, c.armed);
  }
}

TEST(RunMedia, PickWaitsForAPicker) {
  TestMedia t;
  EXPECT_EQ(runMedia(t.media, {"pick", "--limit", "zz", "--nonce", "p"}), 4);
  auto line = json::parse(t.line());
  EXPECT_EQ((*line)["code"], "E_UNSUPPORTED");
  EXPECT_EQ((*line)["message"], "choosing from Photos needs macOS 13 or later");
  EXPECT_EQ((*line)["nonce"], "p");
}

// A watched pick: the child's answer stands as given, with the status it names even when a signal
// ended the child after it; a child that ended without a whole line gets one failure answer.
TEST(RunMedia, AWatchedChildEndsWithOneAnswer) {
  const std::string cancelled = R"({"cancelled":true,"ok":true,"verb":"pick"})"
                                "\n";
  const std::string refused = R"({"code":"E_OUT","ok":false,"verb":"pick"})"
                              "\n";
  struct Case {
    ChildJob child;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {{cancelled, "", 0}, 0, cancelled, ""},
      {{cancelled, "", std::nullopt}, 0, cancelled, ""},
      {{refused, "plenk-media: taken\n", std::nullopt}, 6, refused, "plenk-media: taken\n"},
      {{R"({"ok":tr)", "Gdk-Message: lost\n", std::nullopt}, 4, "", ""},
      {{"", "", 1}, 4, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.child.out));
    TestMedia t;
    EXPECT_EQ(answerForChild(t.media, {"pick", "--out", "/o", "--nonce", "n"}, c.child), c.status);
    if (!c.out.empty()) {
      EXPECT_EQ(t.console.out, c.out);
      EXPECT_EQ(t.console.err, c.err);
      continue;
    }
    auto line = json::parse(t.line());
    ASSERT_TRUE(line);
    EXPECT_EQ((*line)["code"], "E_WORK");
    EXPECT_EQ((*line)["nonce"], "n");
    EXPECT_EQ(t.console.err, "plenk-media: the picker went away without an answer\n");
  }
}

Json verbThrowsLibraryError(Media&, const Options&) {
  throw std::runtime_error("deep inside");
}
Json verbWaitsForDeadline(Media& media, const Options&) {
  auto* timer = static_cast<ManualTimer*>(&media.timer);
  timer->fire();
  return {{"late", true}};
}
Json verbSlash(Media&, const Options& opts) {
  return {{"path", opts.at("--in")}, {"helper", "x"}};
}

TEST(RunMedia, EveryEndOfAVerbGivesOneLine) {
  const VerbEntry verbs[] = {
      {"boom", verbThrowsLibraryError}, {"slow", verbWaitsForDeadline}, {"slash", verbSlash}};
  {
    TestMedia t;
    EXPECT_EQ(runMedia(t.media, {"boom"}, verbs), 4);
    EXPECT_EQ((*json::parse(t.line()))["code"], "E_WORK");
    EXPECT_EQ(t.console.errWrites, 1);
  }
  {
    TestMedia t;
    EXPECT_EQ(runMedia(t.media, {"slow", "--deadline", "100"}, verbs), 5);
    EXPECT_EQ((*json::parse(t.line()))["message"], "macOS did not finish this within 500 ms");
    EXPECT_EQ(t.console.outWrites, 2);
  }
  {
    TestMedia t;
    EXPECT_EQ(runMedia(t.media, {"slash", "--in", "/a/b"}, verbs), 0);
    // A result key replaces the envelope's.
    EXPECT_EQ(t.line(), R"({"helper":"x","nonce":"","ok":true,"path":"\/a\/b","protocol":1,)"
                        R"("verb":"slash","version":"1.0.0"})");
  }
}

TEST(RunMedia, TheSameMediaServesASecondRun) {
  TestMedia t;
  EXPECT_EQ(runMedia(t.media, {"nope", "--nonce", "1"}), 2);
  t.console.out.clear();
  t.console.status.reset();
  EXPECT_EQ(runMedia(t.media, {"probe"}), 0);
  EXPECT_EQ((*json::parse(t.line()))["nonce"], "");
}

} // namespace
} // namespace plenk::media
