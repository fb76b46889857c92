// The caller the host logs, from each browser's arguments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nmhost/Caller.h"

namespace qvx::nmhost {
namespace {

TEST(CallerTest, EachBrowsersArguments) {
  const std::string origin = "chrome-extension://njfoaamonhhkalkikhfekndnikjjhnpf/";
  const struct {
    const char* browser;
    std::vector<std::string> args;
    std::string caller;
  } cases[] = {
      {"Chromium on Linux", {origin}, origin},
      {"Chrome and Edge on Windows", {origin, "--parent-window=6029612"}, origin},
      {"Firefox",
       {"/usr/lib/mozilla/native-messaging-hosts/meridel.quorvex2.brixon.json",
        "brixon@quorvex2.meridel.example"},
       "brixon@quorvex2.meridel.example"},
      {"Firefox on Windows",
       {"C:\\Program Files\\Quorvex2\\meridel.quorvex2.brixon.firefox.json",
        "brixon@quorvex2.meridel.example"},
       "brixon@quorvex2.meridel.example"},
      {"started by hand with one argument", {"something"}, "something"},
      {"started without arguments", {}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CallerOf(c.args), c.caller) << c.browser;
  }
}

}  // namespace
}  // namespace qvx::nmhost
