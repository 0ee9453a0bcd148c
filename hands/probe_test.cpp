#include "hands/constants.hpp"
#include "hands/hands_fixture.hpp"
#include "hands/verbs.hpp"

#include <gtest/gtest.h>

namespace plenk::hands {
namespace {

TEST(Probe, TellsWhatTheHelperIsAndMayDoWithoutPrompting) {
  const Json verbs = {"probe",       "request",  "frontmost", "app_at",   "elements",
                      "read_text",   "click",    "type",      "key",      "scroll",
                      "resolve_app", "open_app", "activate",  "list_apps"};
  for (bool trusted : {false, true})
    for (bool screen : {false, true}) {
      HandsFixture f;
      f.desktop.trusted = trusted;
      f.desktop.screenAllowed = screen;
      Json result = verbProbe(f.hands, Json::array({1}));
      EXPECT_EQ(result, (Json{{"helper", "plenk-hands"},
                              {"protocol", 1},
                              {"version", "1.0.0"},
                              {"accessibility", trusted},
                              {"screen", screen},
                              {"verbs", verbs}}));
      EXPECT_TRUE(result["protocol"].is_number_integer());
      EXPECT_EQ(f.desktop.accessibilityPrompts, 0);
      EXPECT_EQ(f.desktop.screenPrompts, 0);
    }
}

} // namespace
} // namespace plenk::hands
