#include <gtest/gtest.h>

#include "device/Card.h"
#include "device/Mac.h"
#include "device/Responses.h"

namespace qvx::sim {
namespace {

// The reference vectors: key 00 01 .. 0F, message 00 01 .. (n-1).
TEST(MacTest, SipHashReferenceVectors) {
  struct Case {
    std::size_t length;
    std::uint64_t mac;
  };
  const Case cases[] = {
      {0, 0x726FDB47DD0E0E31ULL},  {1, 0x74F839C593DC67FDULL},  {7, 0xAB0200F58B01D137ULL},
      {8, 0x93F5F5799A932462ULL},  {9, 0x9E0082DF0BA9E4B0ULL},  {15, 0xA129CA6149BE45E5ULL},
      {16, 0x3F2ACC7F57C29BDBULL}, {63, 0x958A324CEB064572ULL},
  };
  const MacKey key = DefaultCardKey();
  for (const Case& c : cases) {
    Bytes message(c.length);
    for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(SipHash24(key, message.data(), message.size()), c.mac) << c.length;
  }
}

TEST(MacTest, OutputIsLittleEndian) {
  const MacKey key = DefaultCardKey();
  EXPECT_EQ(SipHash24Bytes(key, {}), (Bytes{0x31, 0x0E, 0x0E, 0xDD, 0x47, 0xDB, 0x6F, 0x72}));
}

// Worked examples of docs/device.md, computed with an independent SipHash.
TEST(MacTest, ResponseExamples) {
  const MacKey key = DefaultCardKey();
  Mode1Input input;
  input.challenge = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(ComputeResponse(key, Mode1Message(input)),
            (Bytes{0x1D, 0xC0, 0xF1, 0x68, 0x64, 0x9D, 0x40, 0x97}));
  EXPECT_EQ(Mode2Message(0x01020304), (Bytes{0x02, 0x01, 0x02, 0x03, 0x04}));
  input.amount = std::array<std::uint8_t, 6>{0, 0, 0, 0x01, 0x23, 0x45};
  input.currency = std::array<std::uint8_t, 2>{0x09, 0x78};
  EXPECT_EQ(Mode1Message(input),
            (Bytes{0x01, 0x12, 0x34, 0x56, 0x78, 0, 0, 0, 0x01, 0x23, 0x45, 0x09, 0x78}));
  EXPECT_EQ(ComputeResponse(key, Mode1Message(input)),
            (Bytes{0xC3, 0x3B, 0x1C, 0xFA, 0x14, 0x43, 0x8D, 0x8A}));
  EXPECT_EQ(ComputeResponse(key, Mode2Message(1)),
            (Bytes{0xA3, 0x1E, 0x8B, 0x76, 0x9E, 0xB5, 0xAD, 0xB1}));
  EXPECT_EQ(ComputeResponse(key, SignMessage({0x00, 0x02, 0xCC, 0xDD})),
            (Bytes{0x9F, 0x7C, 0xD8, 0x6A, 0xA8, 0x9B, 0x04, 0xE4}));
}

TEST(MacTest, KeyChangesTheResponse) {
  MacKey other = DefaultCardKey();
  other[15] ^= 0x01;
  const Bytes message = Mode2Message(1);
  EXPECT_NE(ComputeResponse(DefaultCardKey(), message), ComputeResponse(other, message));
}

}  // namespace
}  // namespace qvx::sim
