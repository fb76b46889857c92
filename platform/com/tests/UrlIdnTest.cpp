// UrlGetPartW and IdnToAscii.
#include <gtest/gtest.h>

#include <string>

#include "platform/com/Idn.h"
#include "platform/com/Url.h"

namespace {

using namespace platform;

TEST(UrlGetPart, SplitsLikeTheWindowsCall) {
  struct Case {
    const char16_t* url;
    DWORD part;
    HRESULT hr;
    std::u16string text;
  } cases[] = {
      {u"https://www.brixbank.example:8443/a?b=1#c", URL_PART_SCHEME, S_OK, u"https"},
      {u"https://www.brixbank.example:8443/a?b=1#c", URL_PART_HOSTNAME, S_OK,
       u"www.brixbank.example"},
      {u"https://www.brixbank.example:8443/a?b=1#c", URL_PART_PORT, S_OK, u"8443"},
      {u"https://www.brixbank.example:8443/a?b=1#c", URL_PART_QUERY, S_OK, u"b=1"},
      {u"HTTPS://Host.Example", URL_PART_SCHEME, S_OK, u"HTTPS"},
      {u"HTTPS://Host.Example", URL_PART_HOSTNAME, S_OK, u"Host.Example"},
      {u"https://host/", URL_PART_USERNAME, S_FALSE, u""},
      {u"https://me:pw@host/", URL_PART_USERNAME, S_OK, u"me"},
      {u"https://me:pw@host/", URL_PART_PASSWORD, S_OK, u"pw"},
      {u"https://:pw@host/", URL_PART_USERNAME, S_FALSE, u""},
      {u"https://:pw@host/", URL_PART_PASSWORD, S_OK, u"pw"},
      {u"https://a@b@host/", URL_PART_HOSTNAME, S_OK, u"host"},  // last '@' ends the user
      {u"https://a@b@host/", URL_PART_USERNAME, S_OK, u"a@b"},
      {u"https://evil.example\\.brixbank.example/", URL_PART_HOSTNAME, S_OK, u"evil.example"},
      {u"https://evil.example?.brixbank.example", URL_PART_HOSTNAME, S_OK, u"evil.example"},
      {u"https://[::1]:9041/", URL_PART_HOSTNAME, S_OK, u"[::1]"},
      {u"https://h/p#f?x=1", URL_PART_QUERY, S_FALSE, u""},
      {u"about:blank", URL_PART_SCHEME, S_OK, u"about"},
      {u"about:blank", URL_PART_HOSTNAME, E_FAIL, u""},
      {u"file:///tmp/x.html", URL_PART_HOSTNAME, S_FALSE, u""},
      {u"www.brixbank.example", URL_PART_SCHEME, E_INVALIDARG, u""},
      {u"c:\\pages\\x.html", URL_PART_SCHEME, E_INVALIDARG, u""},
      {u"1http://host", URL_PART_SCHEME, E_INVALIDARG, u""},
  };
  for (const Case& c : cases) {
    OLECHAR out[64] = {u'#'};
    DWORD size = 64;
    EXPECT_EQ(UrlGetPartW(c.url, out, &size, c.part, 0), c.hr)
        << std::string(c.url, c.url + std::char_traits<char16_t>::length(c.url)) << " " << c.part;
    if (SUCCEEDED(c.hr)) {
      EXPECT_EQ(std::u16string(out), c.text);
      EXPECT_EQ(size, c.text.size());
    }
  }
}

TEST(UrlGetPart, ShortBufferReportsTheSizeNeeded) {
  OLECHAR one[1];
  DWORD size = 1;
  EXPECT_EQ(UrlGetPartW(u"https://u@h/", one, &size, URL_PART_USERNAME, 0), E_POINTER);
  EXPECT_EQ(size, 2u);
  size = 1;
  EXPECT_EQ(UrlGetPartW(u"https://h/", one, &size, URL_PART_PASSWORD, 0), S_FALSE);
  EXPECT_EQ(one[0], 0);
  size = 0;
  EXPECT_EQ(UrlGetPartW(u"https://h/", one, &size, URL_PART_HOSTNAME, 0), E_INVALIDARG);
}

TEST(IdnToAscii, ConvertsWithStd3Rules) {
  OLECHAR out[300];
  const std::u16string host = u"b\u00FCcher.BrixBank.example";
  int n =
      IdnToAscii(IDN_USE_STD3_ASCII_RULES, host.c_str(), static_cast<int>(host.size()), out, 300);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::u16string(out, static_cast<std::size_t>(n)), u"xn--bcher-kva.brixbank.example");
  // With the terminator counted it is converted and counted too.
  EXPECT_EQ(IdnToAscii(0, host.c_str(), -1, nullptr, 0), n + 1);

  const std::u16string bad[] = {
      u"b\u00FCcher_x.example",                            // '_' breaks STD3
      u"\u00FC" + std::u16string(70, u'a') + u".example",  // label over 63
      std::u16string(u"\u00FC\xD800.example"),             // lone surrogate
  };
  for (const std::u16string& name : bad) {
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
