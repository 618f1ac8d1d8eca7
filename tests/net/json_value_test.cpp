#include "net/json_value.h"

#include <gtest/gtest.h>

namespace orvek::net {
namespace {

Json Parse(std::string_view text) {
  std::optional<Json> value = ParseJson(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Json());
}

TEST(JsonValueTest, NonJsonTextGivesNothing) {
  EXPECT_FALSE(ParseJson("<html><body>502 Bad Gateway</body></html>"));
  EXPECT_FALSE(ParseJson(""));
  EXPECT_FALSE(ParseJson("{\"a\":1} trailing"));
  EXPECT_FALSE(ParseJson("{\"a\":"));
  EXPECT_TRUE(ParseJson(" /* note */ {\"a\":1}\n"));
}

// A legal answer of 40 KB nested 20,000 deep once overflowed the check's
// stack while it was read; one object of 100,000 members took 37 s to build.
TEST(JsonValueTest, TooDeepOrTooWideIsRefusedBeforeItIsBuilt) {
  const auto nested = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(ParseJson(nested(kMaxJsonDepth)));
  EXPECT_THROW(ParseJson(nested(20000)), JsonLimitError);
  EXPECT_THROW(ParseJson(std::string(kMaxJsonDepth + 1, '[')), JsonLimitError);
  std::string wide = "{";
  for (std::size_t i = 0; i <= kMaxJsonMembers; ++i) wide.append(1, '"').append(std::to_string(i)).append("\":0,");
  wide.back() = '}';
  EXPECT_THROW(ParseJson(wide), JsonLimitError);
  std::string long_array = "[0";
  for (int i = 0; i < 100000; ++i) long_array += ",0";
  EXPECT_TRUE(ParseJson(long_array + "]"));  // arrays cost nothing per element
}

TEST(JsonValueTest, ReadAsTextFollowsTheTable) {
  const Json o = Parse(R"({"s":"abc","i":17,"neg":-4,"f":1.5,"whole":2.0,"t":true,"b":false,
      "o":{"x":[1,"/"]},"n":null,"sn":"null","e":""})");
  EXPECT_EQ(ReadAsText(o, "s"), "abc");
  EXPECT_EQ(ReadAsText(o, "i"), "17");
  EXPECT_EQ(ReadAsText(o, "neg"), "-4");
  EXPECT_EQ(ReadAsText(o, "f"), "1.5");
  EXPECT_EQ(ReadAsText(o, "whole"), "2");
  EXPECT_EQ(ReadAsText(o, "t"), "true");
  EXPECT_EQ(ReadAsText(o, "b"), "false");
  EXPECT_EQ(ReadAsText(o, "o"), R"({"x":[1,"\/"]})");
  EXPECT_EQ(ReadAsText(o, "n"), "");
  EXPECT_EQ(ReadAsText(o, "sn"), "");
  EXPECT_EQ(ReadAsText(o, "e"), "");
  EXPECT_EQ(ReadAsText(o, "missing"), "");
  EXPECT_EQ(ReadAsText(Parse("[1]"), "0"), "");
}

TEST(JsonValueTest, ReadAsIntegerFollowsTheTable) {
  const Json o = Parse(R"({"i":17,"s":"17","neg":"-3","plus":"+5","abc":"abc","sf":"1.5",
      "blank":" 1","empty":"","t":true,"f":false,"half":2.5,"half3":3.5,"mhalf":-2.5,
      "near":2.6,"wrap":4294967297,"big":18446744073709551615,"sbig":"4294967298",
      "huge":"99999999999999999999","fhuge":1e30,"o":{},"a":[1],"n":null})");
  EXPECT_EQ(ReadAsInteger(o, "i"), 17);
  EXPECT_EQ(ReadAsInteger(o, "s"), 17);
  EXPECT_EQ(ReadAsInteger(o, "neg"), -3);
  EXPECT_EQ(ReadAsInteger(o, "plus"), 5);
  EXPECT_EQ(ReadAsInteger(o, "abc"), 0);
  EXPECT_EQ(ReadAsInteger(o, "sf"), 0);
  EXPECT_EQ(ReadAsInteger(o, "blank"), 0);
  EXPECT_EQ(ReadAsInteger(o, "empty"), 0);
  EXPECT_EQ(ReadAsInteger(o, "t"), 1);
  EXPECT_EQ(ReadAsInteger(o, "f"), 0);
  EXPECT_EQ(ReadAsInteger(o, "half"), 2);
  EXPECT_EQ(ReadAsInteger(o, "half3"), 4);
  EXPECT_EQ(ReadAsInteger(o, "mhalf"), -2);
  EXPECT_EQ(ReadAsInteger(o, "near"), 3);
  EXPECT_EQ(ReadAsInteger(o, "wrap"), 1);
  EXPECT_EQ(ReadAsInteger(o, "big"), -1);
  EXPECT_EQ(ReadAsInteger(o, "sbig"), 2);
  EXPECT_EQ(ReadAsInteger(o, "huge"), 0);
  EXPECT_EQ(ReadAsInteger(o, "fhuge"), 0);
  EXPECT_EQ(ReadAsInteger(o, "o"), 0);
  EXPECT_EQ(ReadAsInteger(o, "a"), 0);
  EXPECT_EQ(ReadAsInteger(o, "n"), 0);
  EXPECT_EQ(ReadAsInteger(o, "missing"), 0);
}

TEST(JsonValueTest, WriterEscapesAsTheServiceExpects) {
  Json o = Json::object();
  o["text"] = std::string("q\" b\\ s/ \b\t\n\f\r n") + std::string(1, '\0') + "\x01\x1f";
  o["wide"] = "安装 é \xF0\x9F\x98\x80";
  o["list"] = Json::array({1, -2, true, nullptr, 0.5});
  EXPECT_EQ(WriteJson(o),
            "{\"text\":\"q\\\" b\\\\ s\\/ \\b\\t\\n\\f\\r n\\u0000\\u0001\\u001f\","
            "\"wide\":\"安装 é \xF0\x9F\x98\x80\",\"list\":[1,-2,true,null,0.5]}");
  // Whatever the writer escapes, a standard reader reads back unchanged.
  EXPECT_EQ(Parse(WriteJson(o)), o);
}

}  // namespace
}  // namespace orvek::net
