#include "json/JsonValue.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

namespace qvx::json {
namespace {

TEST(JsonRenderTest, Numbers) {
  const struct {
    double number;
    const char* rendered;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {12, "12"},
      {12345678, "12345678"},
      {1.5, "1.5"},
      {-1.5, "-1.5"},
      {0.1 + 0.2, "0.3"},  // 15 significant digits hide the binary error
      {2.9, "2.9"},
      {0.0001, "0.0001"},
      {0.00001, "1e-005"},
      {123456789012345.0, "123456789012345"},
      {1e14, "100000000000000"},
      {1e15, "1e+015"},
      {1234567890123456.0, "1.23456789012346e+015"},
      {1e20, "1e+020"},
      {-2.5e-7, "-2.5e-007"},
      {1e100, "1e+100"},
      {1.7976931348623157e308, "1.79769313486232e+308"},
      {5e-324, "4.94065645841247e-324"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Narrow(Render(CJsonValue(c.number))), c.rendered) << c.rendered;
  }
}

TEST(JsonRenderTest, StringEscapes) {
  const struct {
    WideString string;
    WideString rendered;
  } cases[] = {
      {u"nl", u"nl"},
      {u"a/b", u"a\\/b"},
      {u"say \"hi\"", u"say \\\"hi\\\""},
      {u"back\\slash", u"back\\\\slash"},
      {WideString{8, 9, 10, 12, 13}, u"\\b\\t\\n\\f\\r"},
      {WideString{1}, u"\\u0001"},
      {WideString{0}, u"\\u0000"},
      {WideString{31}, u"\\u001F"},
      {WideString{11, 27}, u"\\u000B\\u001B"},
      {WideString{32, 127, 0xE9, 0xD83D, 0xFFFF}, WideString{32, 127, 0xE9, 0xD83D, 0xFFFF}},
      {u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RenderString(c.string), c.rendered) << Narrow(c.rendered);
    // A string value renders the same way, still without quotes.
    EXPECT_EQ(Render(CJsonValue(c.string)), c.rendered) << Narrow(c.rendered);
  }
}

TEST(JsonRenderTest, ScalarsAndContainers) {
  EXPECT_EQ(Render(CJsonValue()), u"null");
  EXPECT_EQ(Render(CJsonValue(true)), u"true");
  EXPECT_EQ(Render(CJsonValue(false)), u"false");
  EXPECT_EQ(Render(CJsonValue(u"lit")), u"lit");  // a literal is a string, not a bool

  CJsonValue::Array elements;
  elements.push_back(std::make_unique<CJsonValue>(1.0));
  elements.push_back(std::make_unique<CJsonValue>(u"x/y"));
  elements.push_back(std::make_unique<CJsonValue>(CJsonValue::Array{}));
  const CJsonValue array(std::move(elements));
  EXPECT_EQ(Render(array), u"[1,x\\/y,[]]");

  // Members come out in key order, code unit by code unit, shorter first;
  // keys are escaped and unquoted too.
  CJsonValue::Object members;
  members.emplace(u"b", std::make_unique<CJsonValue>(2.0));
  members.emplace(u"\u00e9", std::make_unique<CJsonValue>(3.0));
  members.emplace(u"ab", std::make_unique<CJsonValue>());
  members.emplace(u"a", std::make_unique<CJsonValue>(1.0));
  members.emplace(u"B\"", std::make_unique<CJsonValue>(true));
  const CJsonValue object(std::move(members));
  EXPECT_EQ(Render(object), u"{B\\\":true,a:1,ab:null,b:2,\u00e9:3}");

  const auto parsed = ParseJson("{\"b\":1,\"a\":2}");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(Render(*parsed), u"{a:2,b:1}");
}

TEST(JsonRenderTest, OtherTypesKeepEmptyMembers) {
  const CJsonValue number(7.0);
  EXPECT_TRUE(number.String().empty());
  EXPECT_TRUE(number.Elements().empty());
  EXPECT_TRUE(number.Members().empty());
  EXPECT_EQ(number.Size(), 0u);
  EXPECT_FALSE(number.HasMember(u""));
  EXPECT_THROW(number.At(0), std::out_of_range);
  const CJsonValue string(u"s");
  EXPECT_EQ(string.Type(), JsonString);
  EXPECT_FALSE(string.Bool());
}

TEST(JsonRenderTest, WidenAndNarrow) {
  EXPECT_EQ(Widen("a\xe9\xff"), (WideString{u'a', 0xE9, 0xFF}));
  // Narrowing keeps the low 8 bits of every unit.
  EXPECT_EQ(Narrow(WideString{u'a', 0x141, 0xFFFF, 0}), std::string("aA\xff\0", 4));
}

}  // namespace
}  // namespace qvx::json
