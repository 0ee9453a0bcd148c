#include "platform/json.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace plenk {
namespace {

TEST(Json, ParseRejectsWhatIsNotJson) {
  EXPECT_FALSE(json::parse("{"));
  EXPECT_FALSE(json::parse(""));
  EXPECT_FALSE(json::parse("{} x"));
  ASSERT_TRUE(json::parse("[1,2]"));
  EXPECT_TRUE(json::parse("{\"a\":1}")->is_object());
}

TEST(Json, CompactWriterRefusesUnwritableValues) {
  EXPECT_EQ(json::writeCompact(Json{{"a", 1}, {"b", "x"}}), R"({"a":1,"b":"x"})");
  EXPECT_FALSE(json::writeCompact(Json{{"a", std::nan("")}}));
  EXPECT_FALSE(json::writeCompact(Json::array({std::numeric_limits<double>::infinity()})));
  EXPECT_FALSE(json::writeCompact(Json{{"s", "bad \xFF"}}));
  EXPECT_FALSE(json::writeCompact(Json{{"bad \xED\xA0\x80 key", 1}}));
  EXPECT_FALSE(json::writeCompact(Json::array({1, Json::array({"cut \xE2\x82"})})));
  EXPECT_FALSE(json::writeSorted(Json{{"overlong \xC0\xAF", 1}}));
  Json deep = Json::array();
  for (int i = 0; i < 100000; ++i)
    deep = Json::array({std::move(deep)});
  EXPECT_FALSE(json::writeCompact(deep));
}

TEST(Json, SortedWriterOrdersKeysAndEscapesSlash) {
  Json v = {{"b", {{"z", 1}, {"a", "x/y"}}}, {"a/", true}, {"\xC3\xA9", 0}, {"Z", 0}};
  EXPECT_EQ(json::writeSorted(v), R"({"Z":0,"a\/":true,"b":{"a":"x\/y","z":1},"é":0})");
}

} // namespace
} // namespace plenk
