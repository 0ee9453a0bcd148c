// The check of answer lines against docs/schema can fail: a line that breaks the schema of its
// verb fails the test that read it, and a hands answer is held to the verb its id asked for.
#include "tests/support/schema.hpp"

#include <gtest/gtest-spi.h>

namespace plenk::testing::schema {
namespace {

TEST(Schema, AHandsAnswerIsHeldToTheVerbItsIdAskedFor) {
  HandsConversation c;
  c.sent(
      "{\"id\":1,\"verb\":\"click\",\"args\":{\"x\":1,\"y\":2}}\n{\"id\":\"two\",\"verb\":\"prob");
  c.sent("e\"}\n");
  // An empty result is what click answers, not probe.
  c.received("{\"id\":1,\"ok\":true,\"result\":{}}\n");
  EXPECT_NONFATAL_FAILURE(c.received("{\"id\":\"two\",\"ok\":true,\"result\":{}}\n"),
                          "breaks docs/schema/hands/probe.json");
}

TEST(Schema, ALineOutsideTheSchemaFailsTheTestThatReadIt) {
  EXPECT_NONFATAL_FAILURE(
      expectHandsAnswer(
          "activate",
          R"({"id":3,"ok":false,"code":"bad_key","error":"key must be a short string like cmd+s."})"),
      "code: 'bad_key' is not one of");
  // Both wordings of a message are accepted; a third is not.
  const std::string locked = R"({"code":"E_UNSUPPORTED","helper":"plenk-media","message":")";
  const std::string rest =
      R"(","nonce":"","ok":false,"protocol":1,"verb":"pick","version":"1.0.0"})";
  expectMediaRun("plenk-media", 4,
                 locked + "choosing from Photos needs macOS 13 or later" + rest + "\n");
  expectMediaRun("plenk-media", 4,
                 locked + "choosing photographs and videos needs a display to show the picker on" +
                     rest + "\n");
  EXPECT_NONFATAL_FAILURE(
      expectMediaRun("plenk-media", 4, locked + "choosing needs a display" + rest + "\n"),
      "envelope/message");
  // The exit status goes with the code.
  EXPECT_NONFATAL_FAILURE(
      expectMediaRun("plenk-media", 2,
                     locked + "choosing from Photos needs macOS 13 or later" + rest + "\n"),
      "exit: 4 was expected");
}

TEST(Schema, ARequestMeetsItsVerbsArguments) {
  EXPECT_EQ(Checker::get().check(R"(request - {"id":7,"verb":"click","args":{"x":1,"y":2}})"),
            "ok");
  EXPECT_EQ(Checker::get().check(R"(request - {"id":7,"verb":"click","args":{"x":1}})"),
            "error: args: 'y' is a required property");
}

} // namespace
} // namespace plenk::testing::schema
