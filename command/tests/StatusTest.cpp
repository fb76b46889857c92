#include "command/Status.h"

#include <gtest/gtest.h>

#include <climits>

namespace qvx {
namespace {

TEST(StatusTest, DescriptionOfEveryStatus) {
  const struct {
    Status status;
    const char* description;
  } cases[] = {
      {0, "Success"},
      {1, "Communication error"},
      {2, "Device not connected"},
      {3, "Device error"},
      {4, "Incorrect device version"},
      {5, "Card type not supported"},
      {6, "Card is blocked"},
      {7, "Cancel by user"},
      {8, "Timeout"},
      {9, "Card id not found"},
      {10, "SW1SW2"},
      {11, "PIN locked"},
      {12, "Input error"},
      {13, "BRIXON not installed"},
      {14, "Device in use"},
      {15, "Cancel by other session"},
      {-1, "Unknown Status"},
      {16, "Unknown Status"},
      {INT_MIN, "Unknown Status"},
      {INT_MAX, "Unknown Status"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(StatusDescription(c.status), c.description) << c.status;
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
       {{"Device_Version", ""},
        {"Driver_Version", ""},
        {"BRIXON_Version", "02.20"}},
       "Status=1\nStatusDescription=Communication error\nDevice_Version=\n"
       "Driver_Version=\nBRIXON_Version=02.20"},
      {99,
       {{"Response", "AB"}},
       "Status=99\nStatusDescription=Unknown Status\nResponse=AB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildResultText(c.status, c.items), c.expected);
  }
}

}  // namespace
}  // namespace qvx
