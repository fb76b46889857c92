// The ANSI code page: the script-facing conversions and the Win32 shapes.
#include <gtest/gtest.h>

#include <string>

#include "ComTestSupport.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComTypes.h"

namespace {

using namespace platform;

using qvx::testing::Bstr;

TEST(AnsiCodePage, BstrToAnsiMapsWindows1252AndStopsAtNul) {
  struct Case {
    OleString wide;
    std::string ansi;
  } cases[] = {
      {OLESTR("Status=0"), "Status=0"},
      {OLESTR("caf\u00E9 \u20AC5 \u2122"),
       "caf\xE9 \x80"
       "5 \x99"},  // Latin-1 and the 0x80 row
      {OLESTR("\u0141\u00F3d\u017A"),
       "?\xF3"
       "d?"},                                             // outside 1252: '?'
      {OLESTR("x\U0001F600y"), "x?y"},                    // one character, one '?'
      {OLESTR("\u0081\u0080"), "\x81?"},                  // undefined byte round-trips
      {OleString(OLESTR("12\0") OLESTR("34"), 5), "12"},  // cut at the NUL
      {OLESTR(""), ""},
  };
  for (const Case& c : cases) {
    Bstr b(SysAllocStringLen(c.wide.data(), static_cast<UINT>(c.wide.size())));
    EXPECT_EQ(BstrToAnsi(b.get()), c.ansi) << c.ansi;
  }
  EXPECT_EQ(BstrToAnsi(nullptr), "");
}

TEST(AnsiCodePage, AnsiToBstrAndTheWin32Shapes) {
  Bstr b(AnsiToBstr(std::string("a\x80\xFF\x81", 4)));
  EXPECT_EQ(OleString(b.get(), SysStringLen(b.get())), OLESTR("a\u20AC\u00FF\u0081"));

  // -1 counts the terminator; size 0 asks; too small fails.
  char narrow[8] = {};
  EXPECT_EQ(
      WideCharToMultiByte(CP_ACP, 0, OLESTR("\u00E9t\u00E9"), -1, nullptr, 0, nullptr, nullptr), 4);
  BOOL usedDefault = 0;
  EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, OLESTR("\u00E9\u0100"), 2, narrow, 8, nullptr,
                                &usedDefault),
            2);
  EXPECT_EQ(narrow[0], '\xE9');
#ifndef _WIN32
  // The Linux layer has no best-fit mapping; Windows, not told otherwise,
  // writes 'A' for U+0100.
  EXPECT_EQ(std::string(narrow, 2), "\xE9?");
  EXPECT_EQ(usedDefault, 1);
#endif
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, OLESTR("abc"), 3, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  OLECHAR wide[8] = {};
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xC3\xA9\xE2\x82\xAC", -1, wide, 8), 3);
  EXPECT_EQ(OleString(wide), OLESTR("\u00E9\u20AC"));
#ifndef _WIN32
  // The Linux layer has only its fixed page; Windows has 1250 as well.
  EXPECT_EQ(MultiByteToWideChar(1250, 0, "a", 1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
#endif
}

}  // namespace
