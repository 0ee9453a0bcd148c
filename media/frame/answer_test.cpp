#include "media/frame/answer.hpp"
#include "media/frame/test_media.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

namespace plenk::media {
namespace {

TEST(Emit, WritesSortedKeysEscapedSlashesInTwoWrites) {
  TestMedia t;
  t.media.run.envelopeVerb = "frames";
  t.media.run.envelopeNonce = "n/1";
  emit(t.media, {{"ok", true},
                 {"b", {{"Z", 1}, {"a", {{"y", 2.5}, {"x", nullptr}}}}},
                 {"B", Json::array({"/tmp/a", 3})},
                 {"\xC3\xA9", false}});
  EXPECT_EQ(t.console.out,
            R"({"B":["\/tmp\/a",3],"b":{"Z":1,"a":{"x":null,"y":2.5}},"helper":"plenk-media",)"
            R"("nonce":"n\/1","ok":true,"protocol":1,"verb":"frames","version":"1.0.0","é":false})"
            "\n");
  EXPECT_EQ(t.console.outWrites, 2);
  EXPECT_TRUE(t.console.err.empty());
}

TEST(Emit, AnUnwritableAnswerBecomesTheFixedLine) {
  TestMedia t;
  t.media.run.envelopeVerb = "bad \xFF verb";
  emit(t.media, {{"ok", true}});
  EXPECT_EQ(t.console.out, "{\"helper\":\"plenk-media\",\"ok\":false,\"code\":\"E_WORK\"}\n");
}

TEST(Num, NonFiniteRealsBecomeNull) {
  EXPECT_EQ(num(2.5), Json(2.5));
  EXPECT_EQ(num(-0.0), Json(-0.0));
  EXPECT_TRUE(num(std::numeric_limits<double>::infinity()).is_null());
  EXPECT_TRUE(num(-std::numeric_limits<double>::infinity()).is_null());
  EXPECT_TRUE(num(std::nan("")).is_null());
}

TEST(Stop, OneDiagnosticLineOneEnvelopeAndTheCodesStatus) {
  struct Case {
    Code code;
    int status;
    std::string name;
  };
  const Case cases[] = {{Code::Usage, 2, "E_USAGE"},       {Code::Input, 3, "E_INPUT"},
                        {Code::Work, 4, "E_WORK"},         {Code::Unsupported, 4, "E_UNSUPPORTED"},
                        {Code::Deadline, 5, "E_DEADLINE"}, {Code::Out, 6, "E_OUT"}};
  for (const auto& c : cases) {
    TestMedia t;
    EXPECT_EQ(stop(t.media, MediaError(c.code, "it went wrong")), c.status);
    EXPECT_EQ(t.console.err, "plenk-media: it went wrong\n");
    EXPECT_EQ(t.console.errWrites, 1);
    EXPECT_EQ(t.line(), R"({"code":")" + c.name +
                            R"(","helper":"plenk-media","message":"it went wrong","nonce":"",)"
                            R"("ok":false,"protocol":1,"verb":"","version":"1.0.0"})");
    EXPECT_EQ(t.console.status, c.status);
  }
}

TEST(Deadline, TheHandlerWritesItsOwnAnswer) {
  TestMedia t;
  armDeadline(t.media, 500);
  EXPECT_EQ(t.timer.millis, 500);
  ASSERT_TRUE(t.timer.fire());
  EXPECT_EQ(t.console.err, "plenk-media: the deadline of 500 ms passed before the work finished\n");
  EXPECT_EQ(t.line(), R"({"code":"E_DEADLINE","helper":"plenk-media","message":"macOS did not )"
                      R"(finish this within 500 ms","nonce":"","ok":false,"protocol":1,"verb":"",)"
                      R"("version":"1.0.0"})");
  EXPECT_EQ(t.console.status, 5);
  // A verb that ends later writes nothing more and learns the status of the run.
  EXPECT_EQ(finish(t.media, {{"late", true}}), 5);
  EXPECT_EQ(stop(t.media, MediaError(Code::Out, "late")), 5);
  EXPECT_EQ(t.console.outWrites, 2);
  EXPECT_EQ(t.console.errWrites, 1);
}

TEST(OnceGuard, RacingEndsWriteExactlyOneLine) {
  // The verb's answer, a failure from another thread and the deadline, all at once.
  for (int round = 0; round < 2000; ++round) {
    TestMedia t;
    armDeadline(t.media, 500);
    std::thread deadline([&] { t.timer.fire(); });
    std::thread failure([&] { stop(t.media, MediaError(Code::Out, "copy failed")); });
    int status = finish(t.media, {{"done", true}});
    deadline.join();
    failure.join();
    ASSERT_EQ(t.console.exits, 1);
    ASSERT_EQ(t.console.outWrites, 2);
    ASSERT_EQ(t.console.status, status);
    auto line = json::parse(t.line());
    ASSERT_TRUE(line);
    if (status == 0) {
      ASSERT_TRUE(t.console.err.empty());
      ASSERT_EQ((*line)["done"], true);
    } else {
      ASSERT_EQ(t.console.errWrites, 1);
      ASSERT_EQ((*line)["code"], status == 5 ? "E_DEADLINE" : "E_OUT");
    }
  }
}

} // namespace
} // namespace plenk::media
