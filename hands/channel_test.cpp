#include "hands/channel.hpp"
#include "hands/hands_fixture.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>

namespace plenk::hands {
namespace {

// A channel whose answers land in a memory file.
struct Captured {
  Channel channel;
  Captured() { channel.outFd = memfd_create("answers", 0); }
  ~Captured() { close(channel.outFd); }
  std::string text() {
    off_t size = lseek(channel.outFd, 0, SEEK_CUR);
    std::string out(static_cast<std::size_t>(size), '\0');
    EXPECT_EQ(pread(channel.outFd, out.data(), out.size(), 0), size);
    return out;
  }
  Json only() {
    std::string t = text();
    EXPECT_EQ(t.find('\n'), t.size() - 1) << t;
    return *json::parse(t);
  }
};

const double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(WriteLine, AnAnswerThatCannotBeEncodedIsReplacedKeepingItsId) {
  Captured c;
  writeLine(c.channel, {{"id", {{"n", 3}}}, {"ok", true}, {"result", {{"x", NaN}}}});
  EXPECT_EQ(c.only(), (Json{{"id", {{"n", 3}}},
                            {"ok", false},
                            {"code", "helper_failed"},
                            {"error", "The helper built an answer it could not encode."}}));
}

TEST(WriteLine, WhenEvenTheReplacementFailsTheLineIsAnEmptyObject) {
  for (Json id : {Json(NaN), Json::array({std::numeric_limits<double>::infinity()})}) {
    Captured c;
    writeLine(c.channel, {{"id", id}, {"ok", true}});
    EXPECT_EQ(c.text(), "{}\n");
  }
  Json deep = 1;
  for (int i = 0; i < 300000; ++i) {
    Json outer = Json::array();
    outer.push_back(std::move(deep));
    deep = std::move(outer);
  }
  Captured c;
  respond(c.channel, std::move(deep), Json::object(), std::nullopt);
  EXPECT_EQ(c.text(), "{}\n");
}

TEST(Respond, BuildsExactlyOneOfTheTwoShapes) {
  struct Case {
    std::optional<Json> result;
    std::optional<HandsError> error;
    Json expected;
  } cases[] = {
      {Json{{"a", 1}}, std::nullopt, {{"id", 5}, {"ok", true}, {"result", {{"a", 1}}}}},
      {std::nullopt, std::nullopt, {{"id", 5}, {"ok", true}, {"result", Json::object()}}},
      {Json(), std::nullopt, {{"id", 5}, {"ok", true}, {"result", Json::object()}}},
      {Json{{"a", 1}},
       HandsError{"not_found", "No such app."},
       {{"id", 5}, {"ok", false}, {"code", "not_found"}, {"error", "No such app."}}},
  };
  for (auto& k : cases) {
    Captured c;
    respond(c.channel, 5, k.result, k.error);
    EXPECT_EQ(c.only(), k.expected);
  }
}

TEST(HandleLine, AnswersEachParsedLineOnceWithItsId) {
  HandsFixture f;
  struct Case {
    const char* line;
    Json expected;
  } cases[] = {
      {"[{\"id\":1}]",
       {{"id", nullptr},
        {"ok", false},
        {"code", "bad_request"},
        {"error", "That line was not a JSON object."}}},
      {"{\"id\":[1],\"verb\":\"request\",\"args\":{\"what\":\"screen\"}}",
       {{"id", {1}}, {"ok", true}, {"result", {{"granted", false}}}}},
      {"{\"id\":\"q\",\"verb\":\"open_app\",\"args\":{\"name\":\"x\"}}",
       {{"id", "q"},
        {"ok", false},
        {"code", "not_found"},
        {"error", "There is no app called x on this Mac."}}},
  };
  for (const auto& k : cases) {
    Captured c;
    handleLine(f.hands, c.channel, k.line);
    EXPECT_EQ(c.only(), k.expected) << k.line;
  }
}

} // namespace
} // namespace plenk::hands
