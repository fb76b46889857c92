#include "transport/UsbCompletionPolicy.h"

#include "transport/Packet.h"

namespace qvx::driver {

namespace {

constexpr int kWholePacket = static_cast<int>(kPacketSize);

TransferVerdict Complete(NTSTATUS status) { return {TransferStep::Complete, status, false}; }

}  // namespace

TransferVerdict JudgeInCompletion(libusb_transfer_status status, int actualLength, unsigned faults,
                                  bool cancelRequested) {
  switch (status) {
    case LIBUSB_TRANSFER_CANCELLED:
      return Complete(STATUS_CANCELLED);
    case LIBUSB_TRANSFER_NO_DEVICE:
      return Complete(STATUS_DEVICE_REMOVED);
    case LIBUSB_TRANSFER_COMPLETED:
      if (actualLength == kWholePacket) {
        return Complete(STATUS_SUCCESS);
      }
      break;
    default:
      break;
  }
  if (cancelRequested) {
    return Complete(STATUS_CANCELLED);
  }
  if (status == LIBUSB_TRANSFER_COMPLETED && actualLength == 0) {
    return {TransferStep::Resubmit, STATUS_SUCCESS, false};
  }
  const bool stalled = status == LIBUSB_TRANSFER_STALL;
  if (faults + 1 >= kMaxFaultsInARow) {
    // Still cleared: a later read (the device started again) must not stall.
    return {stalled ? TransferStep::ClearHaltThenComplete : TransferStep::Complete,
            STATUS_UNSUCCESSFUL, true};
  }
  if (stalled) {
    return {TransferStep::ClearHaltThenResubmit, STATUS_SUCCESS, true};
  }
  return {TransferStep::Resubmit, STATUS_SUCCESS, true};
}

TransferVerdict JudgeOutCompletion(libusb_transfer_status status, int actualLength) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
      // No short transfers: every write is one whole packet.
      return Complete(actualLength == kWholePacket ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL);
    case LIBUSB_TRANSFER_CANCELLED:
      return Complete(STATUS_CANCELLED);
    case LIBUSB_TRANSFER_NO_DEVICE:
      return Complete(STATUS_DEVICE_REMOVED);
    case LIBUSB_TRANSFER_STALL:
      return {TransferStep::ClearHaltThenComplete, STATUS_UNSUCCESSFUL, true};
    default:
      return Complete(STATUS_UNSUCCESSFUL);
  }
}

}  // namespace qvx::driver
