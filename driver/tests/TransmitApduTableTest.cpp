// The APDUs the reader answers itself and the status words of the device's
// answers.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "reader/ApduTable.h"

namespace qvx::driver {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ClassifyCase {
  Bytes apdu;
  ApduKind kind;
};

TEST(TransmitApduTableTest, Classification) {
  const ClassifyCase cases[] = {
      {{0x80, 0x12, 0x00, 0x01, 0x00}, ApduKind::Identify},
      {{0x80, 0x12, 0x00, 0x01, 0x09}, ApduKind::Identify},
      {{0x80, 0x12, 0x00, 0x01}, ApduKind::WrongParameters},
      {{0x80, 0x12, 0x00, 0x01, 0x00, 0x00}, ApduKind::WrongParameters},
      {{0x80, 0x12, 0x02, 0x01}, ApduKind::Mode1},
      {{0x80, 0x12, 0x02, 0x01, 0x02, 0xAA, 0xBB, 0x00}, ApduKind::Mode1},
      {{0x80, 0x12, 0x03, 0x01, 0x00}, ApduKind::Mode2},
      {{0x80, 0x12, 0x03, 0x01, 0x00, 0x00}, ApduKind::WrongParameters},
      {{0x80, 0x12, 0x01, 0x01, 0x00}, ApduKind::WrongParameters},
      {{0x80, 0x12, 0x00, 0x02, 0x00}, ApduKind::WrongParameters},
      {{0x80, 0x12, 0x00}, ApduKind::WrongParameters},
      {{0x80, 0x13, 0x00, 0x01, 0x00}, ApduKind::WrongInstruction},
      {{0x00, 0xA4, 0x04, 0x00, 0x00}, ApduKind::WrongInstruction},
      {{0x80}, ApduKind::WrongInstruction},
      {{}, ApduKind::WrongInstruction},
  };
  for (const ClassifyCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.apdu));
    EXPECT_EQ(ClassifyApdu(c.apdu.data(), c.apdu.size()), c.kind);
  }
}

TEST(TransmitApduTableTest, Identification) {
  const Bytes expected{0xD0, 0x07, 'Q', 'V', 'X', '2', 'R', 'D', 'R', 0x90, 0x00};
  EXPECT_EQ(IdentificationAnswer(), expected);
}

TEST(TransmitApduTableTest, TransmitBlocks) {
  TransmitBlock block;
  const Bytes withData{0x80, 0x12, 0x02, 0x01, 0x03, 0xA1, 0xA2, 0xA3, 0x00};
  ASSERT_TRUE(BuildTransmitBlock(withData.data(), withData.size(), &block));
  EXPECT_EQ(block, (Bytes{0x01, 0x03, 0xA1, 0xA2, 0xA3}));
  const Bytes headerOnly{0x80, 0x12, 0x02, 0x01};
  ASSERT_TRUE(BuildTransmitBlock(headerOnly.data(), headerOnly.size(), &block));
  EXPECT_EQ(block, (Bytes{0x01, 0x00}));
  // Lc beyond the APDU's end must not be read.
  const Bytes shortData{0x80, 0x12, 0x02, 0x01, 0x04, 0xA1};
  EXPECT_FALSE(BuildTransmitBlock(shortData.data(), shortData.size(), &block));
}

struct AnswerCase {
  const char* name;
  std::uint8_t code;
  Bytes data;
  Bytes answer;
};

TEST(TransmitApduTableTest, ExchangeAnswers) {
  const AnswerCase cases[] = {
      {"result", 3, {0x11, 0x22}, {0xC1, 0x02, 0x11, 0x22, 0x90, 0x00}},
      {"empty result", 3, {}, {0xC1, 0x00, 0x90, 0x00}},
      {"device timeout", 6, {}, {0x69, 0xF0}},
      {"error 7", 8, {7}, {0x69, 0xF1}},
      {"error 16", 8, {16}, {0x69, 0xF1}},
      {"error 22", 8, {22}, {0x69, 0xF1}},
      {"error 24", 8, {24}, {0x69, 0xF1}},
      {"error 41", 8, {41}, {0x69, 0xF1}},
      {"error 25", 8, {25}, {0x69, 0x87}},
      {"error 33", 8, {33}, {0x67, 0x00}},
      {"error 130", 8, {130}, {0x69, 0x83}},
      {"error 133", 8, {133}, {0x62, 0x83}},
      {"error 129 6A 82", 8, {129, 0x6A, 0x82}, {0x6A, 0x82}},
      {"error 132 6A 81", 8, {132, 0x6A, 0x81}, {0x6A, 0x81}},
      {"error 132 6A 83", 8, {132, 0x6A, 0x83}, {0x6A, 0x83}},
      {"error 129 6A 88", 8, {129, 0x6A, 0x88}, {0x6A, 0x83}},
      {"error 129 6A 84", 8, {129, 0x6A, 0x84}, {0x6F, 0x00}},
      {"error 129 69 82", 8, {129, 0x69, 0x82}, {0x6F, 0x00}},
      {"error 129 short", 8, {129, 0x6A}, {0x6F, 0x00}},
      {"error 21", 8, {21}, {0x6F, 0x00}},
      {"error without byte", 8, {}, {0x6F, 0x00}},
      {"code 2", 2, {0x01}, {0x6F, 0x00}},
      {"code 1", 1, {0x01}, {0x6F, 0x00}},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ExchangeAnswer(c.code, c.data), c.answer);
  }
}

TEST(TransmitApduTableTest, OverlongResultIsNotFramedWithAWrongLength) {
  EXPECT_EQ(ExchangeAnswer(3, Bytes(256, 0x55)), (Bytes{0x6F, 0x00}));
  const Answer longest = ExchangeAnswer(3, Bytes(255, 0x55));
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(longest[1], 0xFF);
}

}  // namespace
}  // namespace qvx::driver
