#include <gtest/gtest.h>

#include "FirmwareHarness.h"
#include "device/ErrorBytes.h"
#include "device/ModeBlock.h"
#include "device/Tlv.h"

namespace qvx::sim {
namespace {

TEST(TlvTest, ParsesOrRejects) {
  struct Case {
    const char* name;
    Bytes data;
    bool ok;
    std::vector<std::uint32_t> tags;
  };
  const Case cases[] = {
      {"empty", {}, true, {}},
      {"one-byte tag", {0x5A, 0x02, 0xAA, 0xBB}, true, {0x5A}},
      {"two-byte tags", {0x9F, 0x37, 0x01, 0x11, 0x5F, 0x2A, 0x00}, true, {0x9F37, 0x5F2A}},
      {"three-byte tag", {0xDF, 0x81, 0x01, 0x00}, true, {0xDF8101}},
      {"long form 81", Bytes{0x5A, 0x81, 0x01, 0x7E}, true, {0x5A}},
      {"value overruns", {0x9F, 0x37, 0x04, 0x12, 0x34}, false, {}},
      {"tag cut short", {0x9F}, false, {}},
      {"length missing", {0x9F, 0x37}, false, {}},
      {"four-byte tag", {0xDF, 0x81, 0x81, 0x01, 0x00}, false, {}},
      {"length form 83", {0x5A, 0x83, 0, 0, 1, 0}, false, {}},
      {"length form 80", {0x5A, 0x80}, false, {}},
      {"81 without its byte", {0x5A, 0x81}, false, {}},
  };
  for (const Case& c : cases) {
    const auto objects = ParseTlv(c.data.data(), c.data.size());
    EXPECT_EQ(objects.has_value(), c.ok) << c.name;
    if (!objects || !c.ok) continue;
    std::vector<std::uint32_t> tags;
    for (const TlvObject& object : *objects) tags.push_back(object.tag);
    EXPECT_EQ(tags, c.tags) << c.name;
  }
}

TEST(TlvTest, ValuesAreCut) {
  const Bytes data{0x9F, 0x37, 0x04, 1, 2, 3, 4, 0x9F, 0x02, 0x00};
  const auto objects = ParseTlv(data.data(), data.size());
  ASSERT_TRUE(objects);
  ASSERT_EQ(objects->size(), 2u);
  EXPECT_EQ((*objects)[0].value, (Bytes{1, 2, 3, 4}));
  EXPECT_TRUE((*objects)[1].value.empty());
}

Bytes Raw(std::initializer_list<int> values) {
  Bytes bytes;
  for (const int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

TEST(ModeBlockTest, AcceptsWhatTheDriverBuilds) {
  const Bytes challenge{0x00, 0x00, 0x12, 0x34};
  ModeParse parsed = ParseModeBlock(Mode1Block(challenge));
  ASSERT_TRUE(parsed.request);
  EXPECT_EQ(parsed.request->mode, 1);
  EXPECT_EQ(Bytes(parsed.request->mode1.challenge.begin(), parsed.request->mode1.challenge.end()),
            challenge);
  EXPECT_FALSE(parsed.request->mode1.amount);

  parsed = ParseModeBlock(Mode1Block({1, 2, 3, 4}, {0, 0, 0, 1, 0x23, 0x45}, {0x09, 0x78}));
  ASSERT_TRUE(parsed.request);
  ASSERT_TRUE(parsed.request->mode1.amount && parsed.request->mode1.currency);
  EXPECT_EQ((*parsed.request->mode1.amount)[5], 0x45);
  EXPECT_EQ((*parsed.request->mode1.currency)[1], 0x78);

  parsed = ParseModeBlock({0x02});
  ASSERT_TRUE(parsed.request);
  EXPECT_EQ(parsed.request->mode, 2);
}

TEST(ModeBlockTest, RejectsWithTheMatchingErrorByte) {
  struct Case {
    const char* name;
    Bytes block;
    std::uint8_t error;
  };
  Bytes trailingGarbage = Mode1Block({1, 2, 3, 4});
  trailingGarbage.back() = 0x01;
  Bytes lengthTooShort = Mode1Block({1, 2, 3, 4});
  lengthTooShort[1] = 12;  // cuts the currency object in half
  const Case cases[] = {
      {"empty", {}, error::kInputNotValid},
      {"unknown mode", {0x03}, error::kInputNotValid},
      {"mode 2 with data", {0x02, 0x00}, error::kInputNotValid},
      {"mode 1 without length", {0x01}, error::kTlvParseFail},
      {"length beyond block", Raw({0x01, 0x20, 0x9F, 0x37, 0x04, 1, 2, 3, 4}),
       error::kTlvParseFail},
      {"object overruns length", lengthTooShort, error::kTlvParseFail},
      {"garbage after objects", trailingGarbage, error::kTlvParseFail},
      {"challenge twice",
       Raw({0x01, 0x0E, 0x9F, 0x37, 0x04, 1, 2, 3, 4, 0x9F, 0x37, 0x04, 1, 2, 3, 4}),
       error::kTlvParseFail},
      {"no challenge", Raw({0x01, 0x03, 0x9F, 0x02, 0x00}), error::kMandatoryMissing},
      {"short challenge", Raw({0x01, 0x06, 0x9F, 0x37, 0x03, 1, 2, 3}), error::kLengthNotValid},
      {"amount of 5", Raw({0x01, 0x12, 0x9F, 0x37, 0x04, 1, 2, 3,    4,    0x9F,
                           0x02, 0x05, 0,    0,    0,    0, 1, 0x5F, 0x2A, 0x00}),
       error::kLengthNotValid},
      {"amount without currency", Raw({0x01, 0x13, 0x9F, 0x37, 0x04, 1, 2, 3,    4,    0x9F, 0x02,
                                       0x06, 0,    0,    0,    0,    0, 1, 0x5F, 0x2A, 0x00}),
       error::kLengthNotValid},
  };
  for (const Case& c : cases) {
    const ModeParse parsed = ParseModeBlock(c.block);
    EXPECT_FALSE(parsed.request) << c.name;
    EXPECT_EQ(parsed.error, c.error) << c.name;
  }
}

TEST(ModeBlockTest, SkipsObjectsItDoesNotUse) {
  const ModeParse parsed =
      ParseModeBlock(Raw({0x01, 0x0A, 0x5A, 0x01, 0x99, 0x9F, 0x37, 0x04, 1, 2, 3, 4}));
  ASSERT_TRUE(parsed.request);
  EXPECT_EQ(parsed.request->mode1.challenge[3], 4);
}

}  // namespace
}  // namespace qvx::sim
