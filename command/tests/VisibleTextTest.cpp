// Control characters in logged values are written out.
#include <gtest/gtest.h>

#include <string>

#include "command/VisibleText.h"

namespace {

TEST(VisibleText, WritesOutControlsAndKeepsTheRest) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"{\"Name\":1}", "{\"Name\":1}"},
      {"a\nb", "a\\nb"},
      {"a\r\nb\tc", "a\\r\\nb\\tc"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"\x1b[2J\x7f\x1f", "\\x1B[2J\\x7F\\x1F"},
      {"back\\slash ~ caf\xc3\xa9", "back\\slash ~ caf\xc3\xa9"},  // printable and UTF-8 kept
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(qvx::VisibleText(c.in), c.out) << c.out;
}

}  // namespace
