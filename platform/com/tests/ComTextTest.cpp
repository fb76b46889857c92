// BSTR, the ANSI code page and GUID text.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/com/Bstr.h"
#include "platform/com/ComTypes.h"

namespace {

using namespace platform;

struct BstrDeleter {
  void operator()(OLECHAR* s) const { SysFreeString(s); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrDeleter>;

TEST(Bstr, LengthPrefixKeepsEmbeddedNulsAndNullIsEmpty) {
  const OLECHAR text[] = {u'a', 0, u'b'};
  Bstr s(SysAllocStringLen(text, 3));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(SysStringLen(s.get()), 3u);
  EXPECT_EQ(SysStringByteLen(s.get()), 6u);
  EXPECT_EQ(s.get()[1], 0);
  EXPECT_EQ(s.get()[2], u'b');
  EXPECT_EQ(s.get()[3], 0);  // terminated after the length too
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  Bstr zeroed(SysAllocStringLen(nullptr, 2));
  EXPECT_EQ(std::u16string(zeroed.get(), 3), std::u16string(3, u'\0'));
}

TEST(AnsiCodePage, BstrToAnsiMapsWindows1252AndStopsAtNul) {
  struct Case {
    std::u16string wide;
    std::string ansi;
  } cases[] = {
      {u"Status=0", "Status=0"},
      {u"caf\u00E9 \u20AC5 \u2122",
       "caf\xE9 \x80"
       "5 \x99"},  // Latin-1 and the 0x80 row
      {u"\u0141\u00F3d\u017A",
       "?\xF3"
       "d?"},                      // outside 1252: '?'
      {u"x\U0001F600y", "x?y"},    // one character, one '?'
      {u"\u0081\u0080", "\x81?"},  // undefined byte round-trips
      {std::u16string(u"12\0"
                      u"34",
                      5),
       "12"},  // cut at the NUL
      {u"", ""},
  };
  for (const Case& c : cases) {
    Bstr b(SysAllocStringLen(c.wide.data(), static_cast<UINT>(c.wide.size())));
    EXPECT_EQ(BstrToAnsi(b.get()), c.ansi) << c.ansi;
  }
  EXPECT_EQ(BstrToAnsi(nullptr), "");
}

TEST(AnsiCodePage, AnsiToBstrAndTheWin32Shapes) {
  Bstr b(AnsiToBstr(std::string("a\x80\xFF\x81", 4)));
  EXPECT_EQ(std::u16string(b.get(), SysStringLen(b.get())), u"a\u20AC\u00FF\u0081");

  // -1 counts the terminator; size 0 asks; too small fails.
  char narrow[8] = {};
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9t\u00E9", -1, nullptr, 0, nullptr, nullptr), 4);
  BOOL usedDefault = 0;
  EXPECT_EQ(
      WideCharToMultiByte(CP_THREAD_ACP, 0, u"\u00E9\u0100", 2, narrow, 8, nullptr, &usedDefault),
      2);
  EXPECT_EQ(std::string(narrow, 2), "\xE9?");
  EXPECT_EQ(usedDefault, 1);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", 3, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  OLECHAR wide[8] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9\xE2\x82\xAC", -1, wide, 8), 3);
  EXPECT_EQ(std::u16string(wide), u"\u00E9\u20AC");
  EXPECT_EQ(MultiByteToWideChar(1250, 0, "a", 1, wide, 8), 0);  // only the fixed page
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Guid, FormatsAndParsesTheRegistryForm) {
  const GUID g{0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
  EXPECT_EQ(GuidToString(g), "{7DD95801-9882-11CF-9FA9-00AA006C42C4}");
  OLECHAR wide[39];
  EXPECT_EQ(StringFromGUID2(g, wide, 39), 39);
  EXPECT_EQ(std::u16string(wide), u"{7DD95801-9882-11CF-9FA9-00AA006C42C4}");
  EXPECT_EQ(StringFromGUID2(g, wide, 38), 0);

  CLSID parsed{};
  EXPECT_EQ(CLSIDFromString(u"{7dd95801-9882-11cf-9fa9-00aa006c42c4}", &parsed), NOERROR);
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
  EXPECT_EQ(CLSIDFromString(u"BRIX", &parsed), CO_E_CLASSSTRING);
  EXPECT_EQ(IIDFromString(u"{}", &parsed), E_INVALIDARG);
}

}  // namespace
