#include "hands/constants.hpp"
#include "hands/dispatch.hpp"
#include "hands/hands_fixture.hpp"

#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace plenk::hands {
namespace {

struct Outcome {
  std::optional<Json> result;
  std::optional<HandsError> error;
};

std::vector<Outcome> run(Hands& hands, std::string_view verb, const Json& args = Json::object()) {
  std::vector<Outcome> calls;
  dispatchVerb(hands, verb, args, [&](std::optional<Json> r, std::optional<HandsError> e) {
    calls.push_back({std::move(r), std::move(e)});
  });
  return calls;
}

TEST(Dispatch, UnknownVerbsAreBadArgsNamingTheVerbAsReceived) {
  HandsFixture f;
  for (std::string verb : {"", "PROBE", " probe", "probe ", "nope", "open-app"}) {
    auto calls = run(f.hands, verb);
    ASSERT_EQ(calls.size(), 1u) << verb;
    EXPECT_FALSE(calls[0].result);
    ASSERT_TRUE(calls[0].error);
    EXPECT_EQ(calls[0].error->code, "bad_args");
    EXPECT_EQ(calls[0].error->message, "There is no verb called " + verb + ".");
  }
}

TEST(Dispatch, EveryVerbIsKnownAndAnsweredExactlyOnce) {
  HandsFixture f;
  for (auto verb : VERBS) {
    auto calls = run(f.hands, verb);
    ASSERT_EQ(calls.size(), 1u) << verb;
    EXPECT_NE(calls[0].result.has_value(), calls[0].error.has_value()) << verb;
    if (calls[0].error) {
      EXPECT_EQ(calls[0].error->message.find("There is no verb"), std::string::npos) << verb;
    }
  }
}

// An accessibility service that fails the way a library might.
struct FailingDesktop final : Accessibility {
  bool throwStd = true;
  bool isTrusted() override {
    if (throwStd) throw std::runtime_error("the service went away");
    throw 42;
  }
  bool isTrustedWithPrompt() override { return false; }
  // Everything else is never reached by probe.
  MemoryDesktop rest;
  Element systemWide() override { return rest.systemWide(); }
  Element application(int pid) override { return rest.application(pid); }
  void setMessagingTimeout(const Element& app, float seconds) override {
    rest.setMessagingTimeout(app, seconds);
  }
  AxResult<AttrValue> copyAttribute(const Element& e, std::string_view name) override {
    return rest.copyAttribute(e, name);
  }
  AxStatus setAttribute(const Element& e, std::string_view name, const AttrValue& v) override {
    return rest.setAttribute(e, name, v);
  }
  AxResult<Element> elementAtPosition(const Element& sw, float x, float y) override {
    return rest.elementAtPosition(sw, x, y);
  }
  AxResult<int> pid(const Element& e) override { return rest.pid(e); }
};

TEST(Dispatch, OtherFailuresBecomeHelperFailedWithTheirDescription) {
  HandsFixture f;
  FailingDesktop failing;
  Hands hands{failing, f.desktop, f.desktop, f.clock, f.hands.postToMain, {}};
  auto calls = run(hands, "probe");
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_TRUE(calls[0].error);
  EXPECT_EQ(calls[0].error->code, "helper_failed");
  EXPECT_EQ(calls[0].error->message, "The helper failed: the service went away");

  failing.throwStd = false;
  calls = run(hands, "probe");
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_TRUE(calls[0].error);
  EXPECT_EQ(calls[0].error->code, "helper_failed");
  EXPECT_EQ(calls[0].error->message.rfind("The helper failed: ", 0), 0u);
}

TEST(Dispatch, HandsErrorsPassUnchanged) {
  HandsFixture f;
  auto calls = run(f.hands, "request", {{"what", "Screen"}});
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_TRUE(calls[0].error);
  EXPECT_EQ(calls[0].error->code, "bad_args");
  EXPECT_EQ(calls[0].error->message, "request takes what: accessibility or screen.");
}

TEST(Dispatch, ACompletionThatThrowsIsNotCalledAgain) {
  HandsFixture f;
  int calls = 0;
  EXPECT_THROW(dispatchVerb(f.hands, "probe", Json::object(),
                            [&](std::optional<Json>, std::optional<HandsError>) {
                              ++calls;
                              throw std::runtime_error("writer broke");
                            }),
               std::runtime_error);
  EXPECT_EQ(calls, 1);
}

} // namespace
} // namespace plenk::hands
