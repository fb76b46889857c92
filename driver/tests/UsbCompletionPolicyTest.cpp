// What the USB lower edge does with each way a transfer can end: the read
// pump survives zero-length packets, stalls and passing faults, and ends
// for a device that is gone, a cancel, or faults that do not pass.
#include <gtest/gtest.h>

#include "transport/UsbCompletionPolicy.h"

namespace qvx::driver {
namespace {

using Step = TransferStep;

TEST(UsbCompletionPolicyTest, InCompletions) {
  struct Case {
    const char* what;
    libusb_transfer_status status;
    int length;
    unsigned faults;
    bool cancel;
    Step step;
    NTSTATUS result;  // when the step completes
    bool fault;
  };
  constexpr unsigned kLast = kMaxFaultsInARow - 1;
  const Case cases[] = {
      {"whole packet", LIBUSB_TRANSFER_COMPLETED, 8, 0, false, Step::Complete, STATUS_SUCCESS,
       false},
      {"whole packet after faults", LIBUSB_TRANSFER_COMPLETED, 8, kLast, false, Step::Complete,
       STATUS_SUCCESS, false},
      {"whole packet wins over a late cancel", LIBUSB_TRANSFER_COMPLETED, 8, 0, true,
       Step::Complete, STATUS_SUCCESS, false},
      {"zero-length packet", LIBUSB_TRANSFER_COMPLETED, 0, 0, false, Step::Resubmit, 0, false},
      {"zero-length packets never run out", LIBUSB_TRANSFER_COMPLETED, 0, kLast, false,
       Step::Resubmit, 0, false},
      {"zero-length packet, cancel asked", LIBUSB_TRANSFER_COMPLETED, 0, 0, true, Step::Complete,
       STATUS_CANCELLED, false},
      {"stall", LIBUSB_TRANSFER_STALL, 0, 0, false, Step::ClearHaltThenResubmit, 0, true},
      {"stall, cancel asked", LIBUSB_TRANSFER_STALL, 0, 0, true, Step::Complete, STATUS_CANCELLED,
       false},
      {"stall that keeps coming back", LIBUSB_TRANSFER_STALL, 0, kLast, false,
       Step::ClearHaltThenComplete, STATUS_UNSUCCESSFUL, true},
      {"short packet", LIBUSB_TRANSFER_COMPLETED, 3, 0, false, Step::Resubmit, 0, true},
      {"transfer error", LIBUSB_TRANSFER_ERROR, 0, 0, false, Step::Resubmit, 0, true},
      {"babble", LIBUSB_TRANSFER_OVERFLOW, 8, kLast - 1, false, Step::Resubmit, 0, true},
      {"errors that keep coming", LIBUSB_TRANSFER_ERROR, 0, kLast, false, Step::Complete,
       STATUS_UNSUCCESSFUL, true},
      {"device gone", LIBUSB_TRANSFER_NO_DEVICE, 0, 0, false, Step::Complete, STATUS_DEVICE_REMOVED,
       false},
      {"cancelled", LIBUSB_TRANSFER_CANCELLED, 0, 0, false, Step::Complete, STATUS_CANCELLED,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TransferVerdict verdict = JudgeInCompletion(c.status, c.length, c.faults, c.cancel);
    EXPECT_EQ(verdict.step, c.step);
    if (verdict.step == Step::Complete || verdict.step == Step::ClearHaltThenComplete) {
      EXPECT_EQ(verdict.status, c.result);
    }
    EXPECT_EQ(verdict.fault, c.fault);
  }
}

TEST(UsbCompletionPolicyTest, OutCompletions) {
  struct Case {
    const char* what;
    libusb_transfer_status status;
    int length;
    Step step;
    NTSTATUS result;
  };
  const Case cases[] = {
      {"whole packet", LIBUSB_TRANSFER_COMPLETED, 8, Step::Complete, STATUS_SUCCESS},
      {"short write", LIBUSB_TRANSFER_COMPLETED, 4, Step::Complete, STATUS_UNSUCCESSFUL},
      {"stall", LIBUSB_TRANSFER_STALL, 0, Step::ClearHaltThenComplete, STATUS_UNSUCCESSFUL},
      {"error", LIBUSB_TRANSFER_ERROR, 0, Step::Complete, STATUS_UNSUCCESSFUL},
      {"device gone", LIBUSB_TRANSFER_NO_DEVICE, 0, Step::Complete, STATUS_DEVICE_REMOVED},
      {"cancelled", LIBUSB_TRANSFER_CANCELLED, 0, Step::Complete, STATUS_CANCELLED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TransferVerdict verdict = JudgeOutCompletion(c.status, c.length);
    EXPECT_EQ(verdict.step, c.step);
    EXPECT_EQ(verdict.status, c.result);
  }
}

}  // namespace
}  // namespace qvx::driver
