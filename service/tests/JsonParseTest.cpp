#include "json/JsonValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace qvx::json {
namespace {

using namespace std::string_literals;

// Rendered form of the parse, or "<fail>".
std::string ParseAndRender(const std::string& text) {
  const auto value = ParseJson(text);
  return value ? Narrow(Render(*value)) : "<fail>";
}

TEST(JsonParseTest, AcceptsAndRejects) {
  const struct {
    std::string text;
    std::string rendered;
  } cases[] = {
      // literals in any letter case; what follows is the caller's business
      {"TRUE", "true"},
      {"True", "true"},
      {"tRuE", "true"},
      {"FaLsE", "false"},
      {"NULL", "null"},
      {"truex", "<fail>"},
      {"[true,NULL,false]", "[true,null,false]"},
      {"[truefalse]", "<fail>"},
      {"tru", "<fail>"},
      // numbers
      {"12345678", "12345678"},
      {"-0", "-0"},
      {"012", "<fail>"},
      {"[012]", "<fail>"},
      {"12ab", "<fail>"},
      {"[12ab]", "<fail>"},
      {"1e400", "null"},
      {"1.5e2", "150"},
      {"1.5E+2", "150"},
      {"-2.5", "-2.5"},
      {"-", "<fail>"},
      {"-a", "<fail>"},
      {"+1", "<fail>"},
      {".5", "<fail>"},
      {"1.", "<fail>"},
      {"1.e5", "<fail>"},
      {"1e", "<fail>"},
      {"1e+", "<fail>"},
      {"1Ex", "<fail>"},
      {"123456789012345678", "1.23456789012346e+017"},
      // containers and separators
      {"[]", "[]"},
      {" [ \t\r\n] ", "[]"},
      {"{}", "{}"},
      {"{ \n }", "{}"},
      {"[1,]", "<fail>"},
      {"[,1]", "<fail>"},
      {"[1 2]", "<fail>"},
      {"[1", "<fail>"},
      {"[1,", "<fail>"},
      {"[", "<fail>"},
      {"{\"a\":1,}", "<fail>"},
      {"{\"a\":1", "<fail>"},
      {"{\"a\" 1}", "<fail>"},
      {"{\"a\":}", "<fail>"},
      {"{\"a\"", "<fail>"},
      {"{a:1}", "<fail>"},
      {"{,}", "<fail>"},
      {"{", "<fail>"},
      {" { \"b\" : [ 1 , \"x\" ] , \"a\" : { } } ", "{a:{},b:[1,x]}"},
      {"{\"a\":1,\"a\":2}", "{a:2}"},
      {"{\"Name\":1,\"Name\":2,\"Params\":[\"nl\"]}", "{Name:2,Params:[nl]}"},
      // strings
      {"\"a\tb\"", "a\\tb"},
      {"\"a\nb\"", "<fail>"},
      {"\"a\rb\"", "<fail>"},
      {"\"a\x01\"", "<fail>"},
      {"\"a\\nb\"", "a\\nb"},
      {"\"a/b\"", "a\\/b"},
      {"\"a\\/b\"", "a\\/b"},
      {"\"\\\"\\\\\\b\\f\\r\\t\"", "\\\"\\\\\\b\\f\\r\\t"},
      {"\"\\u0041\\u00e9\\u00E9\"", "A\xe9\xe9"},
      {"\"\\u001f\"", "\\u001F"},
      {"\"\\u12", "<fail>"},
      {"\"\\u123\"", "<fail>"},
      {"\"\\u12G4\"", "<fail>"},
      {"\"\\x\"", "<fail>"},
      {"\"\\", "<fail>"},
      {"\"abc", "<fail>"},
      {"\"\x7f\xe9\"", "\x7f\xe9"},
      // blank, left-over text and the zero byte
      {"", "<fail>"},
      {" \t\r\n", "<fail>"},
      {"\f1", "<fail>"},
      {"\v1", "<fail>"},
      {"1 ", "1"},
      {"{} x", "<fail>"},
      {"{}{}", "<fail>"},
      {"[1]\0garbage"s, "[1]"},
      {"\0[1]"s, "<fail>"},
      {"@", "<fail>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseAndRender(c.text), c.rendered) << "input: " << c.text;
  }
}

TEST(JsonParseTest, ValuesAndTypes) {
  auto v = ParseJson("2E-1");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->Type(), JsonNumber);
  EXPECT_NEAR(v->Number(), 0.2, 1e-15);

  v = ParseJson("-0");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->Number(), 0.0);
  EXPECT_TRUE(std::signbit(v->Number()));

  v = ParseJson("2.9");
  ASSERT_TRUE(v);
  EXPECT_DOUBLE_EQ(v->Number(), 2.9);

  // Bytes widen one to one; no UTF-8 decoding, no pairing of surrogates.
  v = ParseJson("\"\xc3\xa9\\uD83D\\ude00\"");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->Type(), JsonString);
  EXPECT_EQ(v->String(), (WideString{0xC3, 0xA9, 0xD83D, 0xDE00}));

  v = ParseJson("[null,\"s\",true,1,[],{}]");
  ASSERT_TRUE(v);
  ASSERT_EQ(v->Type(), JsonArray);
  ASSERT_EQ(v->Size(), 6u);
  const JsonType types[] = {JsonNull, JsonString, JsonBool, JsonNumber, JsonArray, JsonObject};
  for (std::size_t i = 0; i < v->Size(); ++i) {
    EXPECT_EQ(v->At(i).Type(), types[i]) << i;
  }
  EXPECT_THROW(v->At(6), std::out_of_range);
}

TEST(JsonParseTest, MemberLookupIsExact) {
  const auto v = ParseJson("{\"Name\":3,\"Params\":[\"A0B1\",\"en\"],\"x\":null}");
  ASSERT_TRUE(v);
  ASSERT_EQ(v->Type(), JsonObject);
  EXPECT_TRUE(v->HasMember(u"Name"));
  EXPECT_FALSE(v->HasMember(u"name"));
  EXPECT_FALSE(v->HasMember(u"Name "));
  EXPECT_EQ(v->Find(u"NAME"), nullptr);
  EXPECT_THROW(v->Member(u"name"), std::out_of_range);
  EXPECT_EQ(v->Member(u"Name").Number(), 3.0);
  ASSERT_NE(v->Find(u"x"), nullptr);  // present although null
  EXPECT_EQ(v->Find(u"x")->Type(), JsonNull);
  const CJsonValue& params = v->Member(u"Params");
  ASSERT_EQ(params.Size(), 2u);
  EXPECT_EQ(params.At(0).String(), u"A0B1");
  EXPECT_EQ(params.At(1).String(), u"en");
}

// Exponents far beyond the double range must finish at once, not loop.
TEST(JsonParseTest, HugeExponentsEndQuickly) {
  const struct {
    const char* text;
    std::string rendered;
  } cases[] = {
      {"1e99999999999999999999", "null"},
      {"1e99999999999999999999999999999999999999999999999999999999999999999999999999999999"
       "9999999999999999999999999999999999999999999999999999999999999999999999999999999999"
       "9999999999999999999999999999999999999999999999999999999999999999999999999999999999"
       "9999999999999999999999999999999999999999999999999999999999999999999999999999999999",
       "null"},
      {"-1e99999999999999999999", "null"},
      {"1e-99999999999999999999", "0"},
      {"-1e-99999999999999999999", "-0"},
      {"0e99999999999999999999", "0"},
      {"1e308", "1e+308"},
      {"1e309", "null"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseAndRender(c.text), c.rendered) << c.text;
  }
}

std::string Nested(std::size_t depth, const std::string& open, const std::string& close) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += open;
  text += "1";
  for (std::size_t i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(JsonParseTest, NestingLimit) {
  EXPECT_EQ(kMaxNestingDepth, 64u);
  const struct {
    std::size_t depth;
    const char* open;
    const char* close;
    const char* renderedOpen;  // keys render without quotes
    bool parses;
  } cases[] = {
      {kMaxNestingDepth, "[", "]", "[", true},
      {kMaxNestingDepth + 1, "[", "]", "[", false},
      {kMaxNestingDepth, "{\"k\":", "}", "{k:", true},
      {kMaxNestingDepth + 1, "{\"k\":", "}", "{k:", false},
      {kMaxNestingDepth / 2, "[{\"k\":", "}]", "[{k:", true},
      {kMaxNestingDepth / 2 + 1, "[{\"k\":", "}]", "[{k:", false},
      {100000, "[", "]", "[", false},
      {100000, "{\"k\":", "}", "{k:", false},
  };
  for (const auto& c : cases) {
    const auto value = ParseJson(Nested(c.depth, c.open, c.close));
    EXPECT_EQ(value != nullptr, c.parses) << c.depth << " x " << c.open;
    if (value) {
      EXPECT_EQ(Narrow(Render(*value)), Nested(c.depth, c.renderedOpen, c.close));
    }
  }
  // Unclosed input as deep as a large message allows.
  EXPECT_EQ(ParseJson(std::string(100000, '[')), nullptr);
  EXPECT_EQ(ParseJson(std::string(100000, '{')), nullptr);
}

}  // namespace
}  // namespace qvx::json
