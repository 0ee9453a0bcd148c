#include "hands/hands_fixture.hpp"
#include "hands/verbs.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

TEST(Request, AsksForTheNamedPermissionAndAnswersTheStateAfterAsking) {
  struct Case {
    const char* what;
    bool alreadyAllowed, userGrants, granted;
  } cases[] = {
      {"accessibility", false, false, false}, {"accessibility", false, true, true},
      {"accessibility", true, false, true},   {"screen", false, false, false},
      {"screen", false, true, true},          {"screen", true, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " " + std::to_string(c.alreadyAllowed) +
                 std::to_string(c.userGrants));
    HandsFixture f;
    bool screen = std::string(c.what) == "screen";
    (screen ? f.desktop.screenAllowed : f.desktop.trusted) = c.alreadyAllowed;
    (screen ? f.desktop.screenPromptGrants : f.desktop.accessibilityPromptGrants) = c.userGrants;
    EXPECT_EQ(verbRequest(f.hands, {{"what", c.what}}), (Json{{"granted", c.granted}}));
    // Exactly the one prompt asked for, never the other, and no check first.
    EXPECT_EQ(f.desktop.screenPrompts, screen ? 1 : 0);
    EXPECT_EQ(f.desktop.accessibilityPrompts, screen ? 0 : 1);
  }
}

TEST(Request, AnythingElseIsBadArgsAndPromptsNothing) {
  for (Json args :
       {Json{{"what", "Screen"}}, Json{{"what", "camera"}}, Json{{"what", 1}},
        Json{{"what", Json::array({"screen"})}}, Json::object(), Json{{"which", "screen"}}}) {
    HandsFixture f;
    try {
      verbRequest(f.hands, args);
      ADD_FAILURE() << args;
    } catch (const HandsError& e) {
      EXPECT_EQ(e.code, "bad_args");
      EXPECT_EQ(e.message, "request takes what: accessibility or screen.");
    }
    EXPECT_EQ(f.desktop.screenPrompts + f.desktop.accessibilityPrompts, 0);
  }
}

} // namespace
} // namespace plenk::hands
