// Fuzz entry: the site lock's decision on arbitrary page URLs. Besides not
// failing, an admitted URL must split into the https scheme and a host that
// is one of the bank's domains or below one, with nothing in it that would
// end or move the host.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSeeds.h"
#include "brixon/SiteLock.h"

namespace {

using qvx::brixon::CSiteLock;

bool EndsWith(const platform::OleString& text, const platform::OleString& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsBankHost(const platform::OleString& host) {
  for (const platform::OleString domain :
       {OLESTR("brixbank.example"), OLESTR("brixonline.example")}) {
    if (host == domain || EndsWith(host, OLESTR(".") + domain)) return true;
  }
  return false;
}

// Nothing that ends the host or moves it in a browser's reading of the URL
// (a split in the wrong place). Other odd characters ("}", a control, a ":"
// inside brackets) only make a name below the bank's domain that no browser
// would report.
bool NothingThatSplitsTheHost(const platform::OleString& host) {
  return host.find_first_of(OLESTR("/\\@?#")) == platform::OleString::npos;
}

void Check(const platform::OleString& url) {
  const bool admitted = CSiteLock::MatchSiteList(
      url.c_str(), URLZONE_INTERNET, CSiteLock::kAllowedSites, CSiteLock::kAllowedSiteCount);
  if (!admitted) return;
  platform::OLECHAR scheme[CSiteLock::kSchemeCapacity] = {};
  platform::OLECHAR host[CSiteLock::kHostCapacity] = {};
  if (CSiteLock::SplitUrl(url.c_str(), scheme, host) != S_OK) std::abort();
  const platform::OleString hostText(host);
  if (platform::OleString(scheme) != OLESTR("https") || !IsBankHost(hostText) ||
      !NothingThatSplitsTheHost(hostText)) {
    // The finding, readable: the URL's code units and the host it gave.
    for (const platform::OLECHAR c : url) std::fprintf(stderr, "%04X ", static_cast<unsigned>(c));
    std::fprintf(stderr, "\nadmitted with host: ");
    for (const platform::OLECHAR c : hostText)
      std::fprintf(stderr, "%04X ", static_cast<unsigned>(c));
    std::fprintf(stderr, "\n");
    std::abort();
  }
}

}  // namespace

// "https://\u00fc.brixbank.example" as little-endian UTF-16.
constexpr char kWideSeed[] =
    "\x01h\0t\0t\0p\0s\0:\0/\0/\0\xfc\0.\0b\0r\0i\0x\0b\0a\0n\0k\0.\0e\0x\0a\0m\0p\0l\0e\0";

std::vector<std::string> FuzzSeeds() {
  return {"\x02https://www.brixbank.example/",
          "\x02https://online.brixonline.example:8443/a?b#c",
          "\x02https://user:pw@www.brixbank.example/",
          "\x02https://www.brixbank.example\\@evil.example/",
          "\x02https://evil.example/.brixbank.example",
          "\x02https://xn--bcher-kva.brixbank.example/",
          std::string(kWideSeed, sizeof kWideSeed - 1)};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks how the rest becomes UTF-16: one code unit per
  // byte, or little-endian pairs (any code unit, surrogates included).
  platform::OleString text;
  if (data[0] % 2 == 0) {
    for (std::size_t i = 1; i < size; ++i) text += static_cast<platform::OLECHAR>(data[i]);
  } else {
    for (std::size_t i = 1; i + 1 < size; i += 2)
      text += static_cast<platform::OLECHAR>(data[i] | (data[i + 1] << 8));
  }
  // Bare text rarely is a URL; the wrappers put the random part where the
  // rules have to decide.
  Check(text);
  Check(OLESTR("https://") + text);
  Check(OLESTR("https://") + text + OLESTR(".brixbank.example/"));
  Check(OLESTR("https://www.brixonline.example") + text);
  return 0;
}
