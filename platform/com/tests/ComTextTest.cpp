// BSTR and GUID text.
#include <gtest/gtest.h>

#include <string>

#include "ComTestSupport.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComTypes.h"

namespace {

using namespace platform;

using qvx::testing::Bstr;

TEST(Bstr, LengthPrefixKeepsEmbeddedNulsAndNullIsEmpty) {
  const OLECHAR text[] = {OLESTR('a'), 0, OLESTR('b')};
  Bstr s(SysAllocStringLen(text, 3));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s.get()), 3u);
  EXPECT_EQ(SysStringByteLen(s.get()), 6u);
  EXPECT_EQ(s.get()[1], 0);
  EXPECT_EQ(s.get()[2], OLESTR('b'));
  EXPECT_EQ(s.get()[3], 0);  // terminated after the length too
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  Bstr zeroed(SysAllocStringLen(nullptr, 2));
  EXPECT_EQ(OleString(zeroed.get(), 3), OleString(3, OLESTR('\0')));
}

TEST(Guid, FormatsAndParsesTheRegistryForm) {
  const GUID g{0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
  EXPECT_EQ(GuidToString(g), "{7DD95801-9882-11CF-9FA9-00AA006C42C4}");
  OLECHAR wide[39];
  EXPECT_EQ(StringFromGUID2(g, wide, 39), 39);
  EXPECT_EQ(OleString(wide), OLESTR("{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
  EXPECT_EQ(StringFromGUID2(g, wide, 38), 0);

  CLSID parsed{};
  EXPECT_EQ(CLSIDFromString(OLESTR("{7dd95801-9882-11cf-9fa9-00aa006c42c4}"), &parsed), NOERROR);
  EXPECT_EQ(parsed, g);

  const char* bad[] = {
      "7DD95801-9882-11CF-9FA9-00AA006C42C4",     // no braces
      "{7DD95801-9882-11CF-9FA9-00AA006C42C4",    // short
      "{7DD95801-9882-11CF-9FA9-00AA006C42C4}x",  // trailing
      "{7DD9580G-9882-11CF-9FA9-00AA006C42C4}",   // not hex
      "{7DD95801-988211CF-9FA9-00AA006C42C4-}",   // dash misplaced
      "",
  };
  for (const char* text : bad) {
    GUID out = g;
    EXPECT_FALSE(GuidFromString(text, &out)) << text;
    EXPECT_EQ(out, g) << "left alone on failure: " << text;
  }
  EXPECT_EQ(CLSIDFromString(OLESTR("BRIX"), &parsed), CO_E_CLASSSTRING);
  EXPECT_EQ(IIDFromString(OLESTR("{}"), &parsed), E_INVALIDARG);
}

}  // namespace
