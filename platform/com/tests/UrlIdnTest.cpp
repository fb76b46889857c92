// UrlGetPartW and IdnToAscii.
#include <gtest/gtest.h>

#include <string>

#include "platform/com/Idn.h"
#include "platform/com/Url.h"

namespace {

using namespace platform;

TEST(UrlGetPartW, SplitsLikeTheWindowsCall) {
  struct Case {
    const OLECHAR* url;
    DWORD part;
    HRESULT hr;
    OleString text;
  } cases[] = {
      {OLESTR("https://www.brixbank.example:8443/a?b=1#c"), URL_PART_SCHEME, S_OK, OLESTR("https")},
      {OLESTR("https://www.brixbank.example:8443/a?b=1#c"), URL_PART_HOSTNAME, S_OK,
       OLESTR("www.brixbank.example")},
      {OLESTR("https://www.brixbank.example:8443/a?b=1#c"), URL_PART_PORT, S_OK, OLESTR("8443")},
      {OLESTR("https://www.brixbank.example:8443/a?b=1#c"), URL_PART_QUERY, S_OK, OLESTR("b=1")},
      {OLESTR("HTTPS://Host.Example"), URL_PART_SCHEME, S_OK, OLESTR("HTTPS")},
      {OLESTR("HTTPS://Host.Example"), URL_PART_HOSTNAME, S_OK, OLESTR("Host.Example")},
      {OLESTR("https://host/"), URL_PART_USERNAME, S_FALSE, OLESTR("")},
      {OLESTR("https://me:pw@host/"), URL_PART_USERNAME, S_OK, OLESTR("me")},
      {OLESTR("https://me:pw@host/"), URL_PART_PASSWORD, S_OK, OLESTR("pw")},
      {OLESTR("https://:pw@host/"), URL_PART_USERNAME, S_FALSE, OLESTR("")},
      {OLESTR("https://:pw@host/"), URL_PART_PASSWORD, S_OK, OLESTR("pw")},
      {OLESTR("https://a@b@host/"), URL_PART_HOSTNAME, S_OK,
       OLESTR("host")},  // last '@' ends the user
      {OLESTR("https://a@b@host/"), URL_PART_USERNAME, S_OK, OLESTR("a@b")},
      {OLESTR("https://evil.example\\.brixbank.example/"), URL_PART_HOSTNAME, S_OK,
       OLESTR("evil.example")},
      {OLESTR("https://evil.example?.brixbank.example"), URL_PART_HOSTNAME, S_OK,
       OLESTR("evil.example")},
      {OLESTR("https://[::1]:9041/"), URL_PART_HOSTNAME, S_OK, OLESTR("[::1]")},
      {OLESTR("https://h/p#f?x=1"), URL_PART_QUERY, S_FALSE, OLESTR("")},
      {OLESTR("about:blank"), URL_PART_SCHEME, S_OK, OLESTR("about")},
      {OLESTR("about:blank"), URL_PART_HOSTNAME, E_FAIL, OLESTR("")},
      {OLESTR("file:///tmp/x.html"), URL_PART_HOSTNAME, S_FALSE, OLESTR("")},
      {OLESTR("www.brixbank.example"), URL_PART_SCHEME, E_INVALIDARG, OLESTR("")},
      {OLESTR("c:\\pages\\x.html"), URL_PART_SCHEME, E_INVALIDARG, OLESTR("")},
      {OLESTR("1http://host"), URL_PART_SCHEME, E_INVALIDARG, OLESTR("")},
  };
  for (const Case& c : cases) {
    OLECHAR out[64] = {OLESTR('#')};
    DWORD size = 64;
    EXPECT_EQ(UrlGetPartW(c.url, out, &size, c.part, 0), c.hr)
        << std::string(c.url, c.url + std::char_traits<OLECHAR>::length(c.url)) << " " << c.part;
    if (SUCCEEDED(c.hr)) {
      EXPECT_EQ(OleString(out), c.text);
      EXPECT_EQ(size, c.text.size());
    }
  }
}

TEST(UrlGetPartW, ShortBufferReportsTheSizeNeeded) {
  OLECHAR one[1];
  DWORD size = 1;
  EXPECT_EQ(UrlGetPartW(OLESTR("https://u@h/"), one, &size, URL_PART_USERNAME, 0), E_POINTER);
  EXPECT_EQ(size, 2u);
  size = 1;
  EXPECT_EQ(UrlGetPartW(OLESTR("https://h/"), one, &size, URL_PART_PASSWORD, 0), S_FALSE);
  EXPECT_EQ(one[0], 0);
  size = 0;
  EXPECT_EQ(UrlGetPartW(OLESTR("https://h/"), one, &size, URL_PART_HOSTNAME, 0), E_INVALIDARG);
}

TEST(IdnToAscii, ConvertsWithStd3Rules) {
  OLECHAR out[300];
  const OleString host = OLESTR("b\u00FCcher.BrixBank.example");
  int n =
      IdnToAscii(IDN_USE_STD3_ASCII_RULES, host.c_str(), static_cast<int>(host.size()), out, 300);
  ASSERT_GT(n, 0);
  EXPECT_EQ(OleString(out, static_cast<std::size_t>(n)), OLESTR("xn--bcher-kva.brixbank.example"));
  // With the terminator counted it is converted and counted too.
  EXPECT_EQ(IdnToAscii(0, host.c_str(), -1, nullptr, 0), n + 1);

  const OleString bad[] = {
      OLESTR("b\u00FCcher_x.example"),                                     // '_' breaks STD3
      OLESTR("\u00FC") + OleString(70, OLESTR('a')) + OLESTR(".example"),  // label over 63
      OleString(OLESTR("\u00FC\xD800.example")),                           // lone surrogate
  };
  for (const OleString& name : bad) {
    SetLastError(0);
    EXPECT_EQ(
        IdnToAscii(IDN_USE_STD3_ASCII_RULES, name.c_str(), static_cast<int>(name.size()), out, 300),
        0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  }
  EXPECT_EQ(
      IdnToAscii(IDN_USE_STD3_ASCII_RULES, host.c_str(), static_cast<int>(host.size()), out, 5), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
