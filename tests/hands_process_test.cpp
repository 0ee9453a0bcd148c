// plenk-hands as the host sees it: bytes on standard input, lines on standard output.
#include "pipes.hpp"
#include "platform/json.hpp"
#include "tests/support/paths.hpp"

#include <gtest/gtest.h>

namespace plenk {
namespace {

using testing::Conversation;
using testing::converse;
using testing::splitLines;

const std::string HANDS = testing::binDir() + "/plenk-hands";
const std::string READY = "plenk-hands: ready (protocol 1, version 1.0.0)\n";

Conversation talk(std::string_view input) {
  return converse({HANDS}, input);
}

// Every answer line parsed; fails the test on a line that is not a JSON object.
std::vector<Json> answers(const Conversation& c) {
  EXPECT_FALSE(c.timedOut);
  EXPECT_EQ(c.status, 0);
  EXPECT_TRUE(c.out.empty() || c.out.back() == '\n');
  std::vector<Json> out;
  for (const auto& line : splitLines(c.out)) {
    auto value = json::parse(line);
    EXPECT_TRUE(value && value->is_object()) << line.substr(0, 200);
    out.push_back(value ? *value : Json());
  }
  return out;
}

void expectFailure(const Json& answer, const Json& id, const char* code, const std::string& error) {
  EXPECT_EQ(answer, (Json{{"id", id}, {"ok", false}, {"code", code}, {"error", error}}));
}

// On the real desktop the messages that name the system say it in Linux words: here with no
// accessibility bus and no X display to be had.
TEST(HandsProcess, MessagesNameTheLinuxDesktop) {
  Conversation c = converse({"/usr/bin/env", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent",
                             "AT_SPI_BUS_ADDRESS=unix:path=/nonexistent", "DISPLAY=:65000", HANDS},
                            R"({"id":1,"verb":"elements"})"
                            "\n"
                            R"({"id":4,"verb":"frontmost"})"
                            "\n"
                            R"({"id":2,"verb":"resolve_app","args":{"name":"Zzyzx Nowhere"}})"
                            "\n"
                            R"({"id":3,"verb":"resolve_app","args":{"name":" "}})"
                            "\n");
  auto a = answers(c);
  ASSERT_EQ(a.size(), 4u) << c.out;
  expectFailure(a[0], 1, "no_permission",
                "Accessibility is turned off on this desktop, so Plenk AI cannot read the screen.");
  expectFailure(a[1], 4, "helper_failed", "The desktop did not say which app is in front.");
  expectFailure(a[2], 2, "not_found", "There is no app called Zzyzx Nowhere on this computer.");
  expectFailure(a[3], 3, "bad_args", "Name an app, like Text Editor or org.gnome.TextEditor.");
}

TEST(HandsProcess, ReadyLineFirstThenProbeThenCleanExit) {
  auto c = talk("{\"id\":7,\"verb\":\"probe\"}\n");
  EXPECT_EQ(c.err, READY);
  auto a = answers(c);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0]["id"], 7);
  EXPECT_EQ(a[0]["ok"], true);
  EXPECT_EQ(a[0]["result"]["helper"], "plenk-hands");
  EXPECT_EQ(a[0]["result"]["verbs"].size(), 14u);
  EXPECT_FALSE(a[0].contains("code"));
}

TEST(HandsProcess, EndOfInputAtOnceExitsZeroWithoutAnswers) {
  auto c = talk("");
  EXPECT_EQ(c.err, READY);
  EXPECT_TRUE(answers(c).empty());
}

TEST(HandsProcess, LinesThatAreNotObjectsAreBadRequestsWithNullId) {
  const char* lines[] = {"[1,2]",   "42",   "\"just a string\"", "{\"id\":1",     "[{\"id\":1}]",
                         "true",    "null", "{\"id\":1,}",       "{\"id\":1} {}", "\xFF\xFE",
                         "{'id':1}"};
  std::string input;
  for (auto l : lines)
    input += std::string(l) + "\n";
  auto a = answers(talk(input));
  ASSERT_EQ(a.size(), std::size(lines));
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    expectFailure(a[i], nullptr, "bad_request", "That line was not a JSON object.");
  }
}

TEST(HandsProcess, WhiteSpaceAroundALineIsTrimmedAndBlankLinesGetNoAnswer) {
  std::string input = "  \t{\"id\":1,\"verb\":\"probe\"} \t\r\n"
                      "\r\n"
                      "   \t  \n"
                      "\n"
                      "\xC2\xA0\xE3\x80\x80{\"id\":2,\"verb\":\"probe\"}\xE2\x80\xA8\xC2\x85\n"
                      "\xE2\x80\xA9\x0B\x0C\n"
                      "{\"id\":3,\"verb\":\"probe\"}"; // last line without a line feed
  auto a = answers(talk(input));
  ASSERT_EQ(a.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(a[i]["id"], i + 1);
    EXPECT_EQ(a[i]["ok"], true);
  }
}

TEST(HandsProcess, InvalidUtf8BecomesReplacementCharacters) {
  auto a = answers(talk("{\"id\":\"a\xFF"
                        "b\",\"verb\":\"probe\"}\n"
                        "{\"id\":2,\"verb\":\"pro\xC3"
                        "be\"}\n"));
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0]["id"], "a\xEF\xBF\xBD"
                        "b");
  EXPECT_EQ(a[0]["ok"], true);
  expectFailure(a[1], 2, "bad_args",
                "There is no verb called pro\xEF\xBF\xBD"
                "be.");
}

// A probe request padded with two-byte characters in its id to exactly `bytes` bytes.
std::string probeOfBytes(std::size_t bytes) {
  const std::string head = "{\"id\":\"", tail = "\",\"verb\":\"probe\"}";
  std::size_t body = bytes - head.size() - tail.size();
  std::string id;
  for (std::size_t i = 0; i < body / 2; ++i)
    id += "\xC3\xA9";
  if (body % 2) id += "a";
  return head + id + tail;
}

TEST(HandsProcess, LineLimitCountsUtf8BytesAfterTrimming) {
  std::string exact = probeOfBytes(1'000'000), over = probeOfBytes(1'000'001);
  // One invalid byte is kept as the three bytes of U+FFFD, which tips this line over.
  std::string grown = probeOfBytes(999'998);
  grown = grown.substr(0, 7) + "\xFF" + grown.substr(7);
  ASSERT_EQ(exact.size(), 1'000'000u);
  ASSERT_EQ(over.size(), 1'000'001u);
  auto a = answers(talk("   " + exact + "   \r\n" + over + "\n" + grown + "\n" +
                        "{\"id\":\"after\",\"verb\":\"probe\"}\n"));
  ASSERT_EQ(a.size(), 4u);
  // The reader answers a long line at once, so the answers may come in any order.
  int accepted = 0, tooLong = 0;
  for (const auto& answer : a) {
    if (answer["ok"] == true) {
      ++accepted;
      EXPECT_TRUE(answer["id"] == "after" || answer["id"].get<std::string>().size() > 999'000);
    } else {
      ++tooLong;
      expectFailure(answer, nullptr, "bad_request", "That request is too long.");
    }
  }
  EXPECT_EQ(accepted, 2);
  EXPECT_EQ(tooLong, 2);
}

TEST(HandsProcess, LineTooLongToKeepIsRefusedAndTheNextAnswered) {
  std::string huge(20'000'000, 'x');
  auto a = answers(talk(huge + "\n{\"id\":1,\"verb\":\"probe\"}\n"));
  ASSERT_EQ(a.size(), 2u);
  expectFailure(a[0], nullptr, "bad_request", "That request is too long.");
  EXPECT_EQ(a[1]["id"], 1);
}

TEST(HandsProcess, IdIsEchoedUnchanged) {
  const char* ids[] = {
      "\"text\"", "{\"a\":[1,{\"b\":null}]}", "[1,\"two\",3.5]", "-12", "null", "true", "{}",
      "\"\""};
  std::string input;
  for (auto id : ids)
    input += std::string("{\"verb\":\"probe\",\"id\":") + id + "}\n";
  input += "{\"verb\":\"probe\"}\n";
  auto a = answers(talk(input));
  ASSERT_EQ(a.size(), std::size(ids) + 1);
  for (std::size_t i = 0; i < std::size(ids); ++i)
    EXPECT_EQ(a[i]["id"], *json::parse(ids[i]));
  EXPECT_TRUE(a.back().contains("id"));
  EXPECT_TRUE(a.back()["id"].is_null());
}

TEST(HandsProcess, VerbAndArgsFallBackQuietly) {
  auto a = answers(talk("{\"id\":1,\"verb\":5}\n"
                        "{\"id\":1}\n"
                        "{\"id\":2,\"verb\":\"PROBE\"}\n"
                        "{\"id\":3,\"verb\":\"probe\",\"args\":[1,2]}\n"
                        "{\"id\":4,\"verb\":\"request\",\"args\":[\"screen\"]}\n"));
  ASSERT_EQ(a.size(), 5u);
  expectFailure(a[0], 1, "bad_args", "There is no verb called .");
  expectFailure(a[1], 1, "bad_args", "There is no verb called .");
  expectFailure(a[2], 2, "bad_args", "There is no verb called PROBE.");
  EXPECT_EQ(a[3]["ok"], true);
  expectFailure(a[4], 4, "bad_args", "request takes what: accessibility or screen.");
}

TEST(HandsProcess, ThousandRequestsAtOnceAreAllAnsweredInOrder) {
  std::string input;
  for (int i = 0; i < 1000; ++i)
    input += "{\"id\":" + std::to_string(i) + ",\"verb\":\"probe\"}\n";
  auto a = answers(talk(input));
  ASSERT_EQ(a.size(), 1000u);
  for (int i = 0; i < 1000; ++i)
    ASSERT_EQ(a[i]["id"], i);
}

TEST(HandsProcess, TooLongAnswersNeverInterleaveWithOthers) {
  // Large answers from the main thread while the reader writes its own answers in between.
  std::string bigId(200'000, 'i');
  std::string over(1'000'001, 'x');
  std::string input;
  for (int i = 0; i < 40; ++i)
    input += "{\"verb\":\"probe\",\"id\":\"" + bigId + std::to_string(i) + "\"}\n" + over + "\n";
  auto a = answers(talk(input));
  ASSERT_EQ(a.size(), 80u);
  int tooLong = 0;
  for (const auto& answer : a)
    tooLong += answer["ok"] == false;
  EXPECT_EQ(tooLong, 40);
}

TEST(HandsProcess, AnIdNestedTooDeepToWriteStillGetsALineAndTheNextIsAnswered) {
  // Deep enough that any recursive copy or write of the id would overflow the stack.
  std::string deep = std::string(150'000, '[') + std::string(150'000, ']');
  auto a = answers(converse({HANDS},
                            "{\"verb\":\"probe\",\"id\":" + deep + "}\n" +
                                "{\"verb\":\"nope\",\"id\":" + deep + "}\n" + deep + "\n" +
                                std::string(300'000, '{') + "\n{\"id\":1,\"verb\":\"probe\"}\n",
                            120000));
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[0], Json::object());
  EXPECT_EQ(a[1], Json::object());
  expectFailure(a[2], nullptr, "bad_request", "That line was not a JSON object.");
  expectFailure(a[3], nullptr, "bad_request", "That line was not a JSON object.");
  EXPECT_EQ(a[4]["id"], 1);
}

TEST(HandsProcess, ReaderAnswersTooLongAtOnceWhileInputStaysOpen) {
  testing::Child child({HANDS});
  ASSERT_TRUE(child.started());
  auto lines = [&] { return splitLines(child.out).size(); };
  ASSERT_TRUE(child.pump(
      "{\"id\":1,\"verb\":\"probe\"}\n", false, [&] { return lines() == 1; }, 10000));
  ASSERT_TRUE(child.pump(
      std::string(1'000'001, 'x') + "\n", false, [&] { return lines() == 2; }, 10000));
  expectFailure(*json::parse(splitLines(child.out)[1]), nullptr, "bad_request",
                "That request is too long.");
  ASSERT_TRUE(child.pump(
      "", true, [&] { return child.outputsClosed(); }, 10000));
  EXPECT_EQ(child.wait(10000), 0);
}

} // namespace
} // namespace plenk

namespace plenk {
namespace {

TEST(HandsProcess, AHostThatStopsReadingAnOutputMidConversationIsNoCrash) {
  // Answers and the reader's own refusals go on being written into a pipe nobody reads; the
  // program carries on with the other stream and ends cleanly at end of input.
  const std::string probe = R"({"id":1,"verb":"probe"})"
                            "\n";
  std::string more;
  for (int i = 0; i < 200; ++i)
    more += R"({"id":)" + std::to_string(i + 2) + R"(,"verb":"probe"})" + "\n";
  more += std::string(1100000, 'x') + "\n" + probe;
  for (int stream : {1, 2, 3}) {
    SCOPED_TRACE(stream == 3 ? "both" : stream == 1 ? "output" : "error");
    testing::Child child({HANDS});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.pump(
        probe, false, [&] { return child.out.find('\n') != std::string::npos; }, 20000));
    if (stream & 1) child.abandon(1);
    if (stream & 2) child.abandon(2);
    const std::size_t before = child.out.size();
    ASSERT_TRUE(child.pump(
        more, true, [&] { return child.outputsClosed(); }, 60000));
    EXPECT_EQ(child.wait(20000), 0);
    // With standard output still read, every request after the error stream went has its line.
    if (stream == 2) {
      EXPECT_EQ(testing::splitLines(child.out.substr(before)).size(), 202u);
    }
  }
}

} // namespace
} // namespace plenk
