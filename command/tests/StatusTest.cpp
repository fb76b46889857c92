#include "command/Status.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

#include "CommandFixture.h"

namespace qvx {
namespace {

// Sixteen statuses, each told apart by its own text; anything else is
// unknown, and no known status may read like it.
TEST(StatusTest, EachStatusHasADescriptionOfItsOwn) {
  std::set<std::string> seen;
  for (Status status = kStatusSuccess; status <= kStatusCancelByOtherSession; ++status) {
    const std::string description = StatusDescription(status);
    SCOPED_TRACE(status);
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(description.find('\n'), std::string::npos) << "would split the result text";
    EXPECT_NE(description, "Unknown Status");
    EXPECT_TRUE(seen.insert(description).second) << description << " twice";
  }
  EXPECT_STREQ(StatusDescription(kStatusSuccess), "Success");
  for (const Status outside : {-1, kStatusCancelByOtherSession + 1, INT_MIN, INT_MAX}) {
    EXPECT_STREQ(StatusDescription(outside), "Unknown Status") << outside;
  }
}

// Every status as a client reads it back from a result: the first two items.
TEST(StatusTest, EveryStatusReadsBackFromItsResult) {
  for (Status status = kStatusSuccess; status <= kStatusCancelByOtherSession + 1; ++status) {
    const auto items = qvx::testing::ResultItems(BuildResultText(status, {{"Key", "a=b"}}));
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Status", std::to_string(status)},
        {"StatusDescription", StatusDescription(status)},
        {"Key", "a=b"}};
    EXPECT_EQ(items, expected);
  }
}

TEST(StatusTest, ResultText) {
  const struct {
    Status status;
    ResultItems items;
    const char* expected;
  } cases[] = {
      {0, {}, "Status=0\nStatusDescription=Success"},
      {0,
       {{"CardId_PAN", "5413330089010012"}, {"CardId_PSN", "01"}},
       "Status=0\nStatusDescription=Success\nCardId_PAN=5413330089010012\n"
       "CardId_PSN=01"},
      {12,
       {{"CardId_PAN", ""}, {"CardId_PSN", ""}},
       "Status=12\nStatusDescription=Input error\nCardId_PAN=\nCardId_PSN="},
      {1,
       {{"Device_Version", ""}, {"Driver_Version", ""}, {"BRIXON_Version", "02.20"}},
       "Status=1\nStatusDescription=Communication error\nDevice_Version=\n"
       "Driver_Version=\nBRIXON_Version=02.20"},
      {99, {{"Response", "AB"}}, "Status=99\nStatusDescription=Unknown Status\nResponse=AB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildResultText(c.status, c.items), c.expected);
  }
}

}  // namespace
}  // namespace qvx
