// What the USB lower edge does with a finished transfer, kept apart from
// libusb's event handling so that it can be tested as a table.
//
// The read pump must outlive what a healthy device does on a bus: a
// zero-length IN packet is no packet (read again), a stalled pipe is cleared
// and read again. Only the device going away or a cancel ends it; a run of
// faults on a device that stays (errors, babble, short packets, stalls that
// keep coming back) ends it as a failure rather than spinning.
#pragma once

#include <libusb.h>

#include "kernel/NtStatus.h"

namespace qvx::driver {

enum class TransferStep {
  Complete,  // hand `status` to the completion
  Resubmit,  // the same transfer again; nobody hears of this one
  ClearHaltThenResubmit,
  ClearHaltThenComplete,
};

struct TransferVerdict {
  TransferStep step;
  NTSTATUS status;  // for the completion when the step completes
  bool fault;       // counts towards kMaxFaultsInARow; any other outcome resets the count
};

// Faults in a row after which the IN pipe counts as failed.
constexpr unsigned kMaxFaultsInARow = 8;

// `faults`: faults in a row before this completion. `cancelRequested`: a
// cancel or abort came while the transfer was out; it wins over reading again.
TransferVerdict JudgeInCompletion(libusb_transfer_status status, int actualLength, unsigned faults,
                                  bool cancelRequested);

// A write is done once: a stall clears the halt first, so the write that
// follows (the fence after a failed exchange) finds the pipe working.
TransferVerdict JudgeOutCompletion(libusb_transfer_status status, int actualLength);

}  // namespace qvx::driver
