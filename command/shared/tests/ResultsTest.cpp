// The command boundary both revisions end at: which status a failure ends
// a command with, and that no value of a failed command survives.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "command/Results.h"

namespace qvx {
namespace {

struct Raised {
  Status status;
  Status GetStatus() const { return status; }
};

TEST(CommandBoundary, StatusComesFromTheRevisionsRaisedTypeOnly) {
  int handed = 0;
  const auto count = [&](const Raised&) { ++handed; };

  const CommandOutcome clean = RunCommand<Raised>([] {}, count);
  EXPECT_EQ(clean.status, kStatusSuccess);
  EXPECT_FALSE(clean.failed);

  const CommandOutcome raised =
      RunCommand<Raised>([] { throw Raised{kStatusCancelByUser}; }, count);
  EXPECT_EQ(raised.status, kStatusCancelByUser);
  EXPECT_TRUE(raised.failed);
  EXPECT_EQ(handed, 1);

  // Even a raised "success" is a failure: its values must not be reported.
  const CommandOutcome oddSuccess = RunCommand<Raised>([] { throw Raised{kStatusSuccess}; }, count);
  EXPECT_TRUE(oddSuccess.failed);

  const CommandOutcome other =
      RunCommand<Raised>([] { throw std::runtime_error("not the revision's"); }, count);
  EXPECT_EQ(other.status, kStatusCommunicationError);
  EXPECT_TRUE(other.failed);
  EXPECT_EQ(handed, 2);
}

TEST(CommandBoundary, FailedCommandsKeepTheirKeysWithoutValues) {
  const CommandOutcome ok;
  const CommandOutcome failed{kStatusTimeout, true};

  EXPECT_EQ(CardResultText(ok, "1234", "01"),
            "Status=0\nStatusDescription=Success\nCardId_PAN=1234\nCardId_PSN=01");
  EXPECT_EQ(CardResultText(failed, "1234", "01"),
            "Status=8\nStatusDescription=Timeout\nCardId_PAN=\nCardId_PSN=");
  EXPECT_EQ(ResponseResultText(ok, {0x0A, 0xFF}),
            "Status=0\nStatusDescription=Success\nResponse=0AFF");
  EXPECT_EQ(ResponseResultText(failed, {0x0A}), "Status=8\nStatusDescription=Timeout\nResponse=");
  // The versions stay as far as they were read.
  EXPECT_EQ(ConnectionResultText(kStatusIncorrectDeviceVersion, {"02.10", ""}, "01.06"),
            "Status=4\nStatusDescription=Incorrect device version\nDevice_Version=02.10\n"
            "Driver_Version=\nBRIXON_Version=01.06");
}

}  // namespace
}  // namespace qvx
