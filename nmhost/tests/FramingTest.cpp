// The browser's framing on byte arrays: whole messages, clean ends and the
// faults that must end the session instead of hanging it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "nmhost/Framing.h"

namespace qvx::nmhost {
namespace {

std::string Length(std::uint32_t value) {
  std::string bytes(4, '\0');
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

// A reader over fixed bytes, handing out at most `chunk` bytes a call as a
// pipe may.
CFrameReader Over(const std::string& bytes, std::size_t chunk = 1 << 20) {
  auto at = std::make_shared<std::size_t>(0);
  return CFrameReader([bytes, at, chunk](char* buffer, std::size_t size) {
    const std::size_t n = std::min({size, chunk, bytes.size() - *at});
    std::memcpy(buffer, bytes.data() + *at, n);
    *at += n;
    return n;
  });
}

TEST(Framing, ReadsMessagesInOrderWhateverThePipeHandsOut) {
  const std::string input = EncodeFrame(R"({"Name":1})") + EncodeFrame("") + EncodeFrame("[]");
  for (std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
    CFrameReader reader = Over(input, chunk);
    EXPECT_EQ(reader.Next().text, R"({"Name":1})") << chunk;
    const Frame empty = reader.Next();
    EXPECT_EQ(empty.kind, FrameKind::Message);
    EXPECT_EQ(empty.text, "");
    EXPECT_EQ(reader.Next().text, "[]");
    EXPECT_EQ(reader.Next().kind, FrameKind::End);
  }
}

TEST(Framing, LengthIsInTheMachinesByteOrder) {
  const std::string frame = EncodeFrame("abc");
  std::uint32_t length = 0;
  std::memcpy(&length, frame.data(), 4);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(frame.substr(4), "abc");
}

struct FaultCase {
  const char* name;
  std::string input;
  const char* why;
};

TEST(Framing, BrokenStreamsAreFaultsNotWaits) {
  const FaultCase cases[] = {
      {"short length", std::string("\x05\x00", 2), "inside a message length"},
      {"cut message", Length(10) + "12345", "inside a message"},
      {"length beyond the cap", Length(kMaxInboundMessage + 1) + "{}", "beyond the limit"},
      {"all ones length", Length(0xFFFFFFFFu), "beyond the limit"},
  };
  for (const FaultCase& c : cases) {
    CFrameReader reader = Over(c.input);
    const Frame frame = reader.Next();
    EXPECT_EQ(frame.kind, FrameKind::Fault) << c.name;
    EXPECT_NE(frame.fault.find(c.why), std::string::npos) << c.name << ": " << frame.fault;
  }
}

TEST(Framing, TheCapItselfIsAccepted) {
  const std::string body(kMaxInboundMessage, ' ');
  CFrameReader reader = Over(Length(static_cast<std::uint32_t>(body.size())) + body);
  EXPECT_EQ(reader.Next().text.size(), kMaxInboundMessage);
}

TEST(Framing, RepliesBeyondTheBrowsersLimitAreRefused) {
  EXPECT_NO_THROW(EncodeFrame(std::string(kMaxOutboundMessage, 'x')));
  EXPECT_THROW(EncodeFrame(std::string(kMaxOutboundMessage + 1, 'x')), std::length_error);
}

TEST(Framing, Utf8Validation) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {"plain", true},
      {"\xC3\xA9t\xC3\xA9", true},     // é
      {"\xE2\x82\xAC", true},          // €
      {"\xF0\x9F\x92\xB3", true},      // U+1F4B3
      {"\xC3", false},                 // cut short
      {"\xE2\x82", false},             // cut short
      {"\xC0\xAF", false},             // overlong '/'
      {"\xE0\x80\xAF", false},         // overlong
      {"\xED\xA0\x80", false},         // surrogate
      {"\xF4\x90\x80\x80", false},     // above U+10FFFF
      {"\x80", false},                 // stray continuation
      {"\xFF", false},                 // never in UTF-8
      {std::string("a\0b", 3), true},  // NUL is a character
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
}

}  // namespace
}  // namespace qvx::nmhost
