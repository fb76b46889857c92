// The reader functions smclib calls through the smart-card extension's
// ReaderFunction table, over the shared core; and the card-tracking
// request's end.
#pragma once

#include "kernel/os/Wdm.h"
#include "wdm/DeviceExtension.h"

namespace qvx::driver::wdm {

// Fills the table: card power, transmit, set protocol, card tracking and
// the vendor codes; the other slots stay empty.
void SetReaderFunctions(SMARTCARD_EXTENSION& card);

// Copies the core's card (state, ATR, protocols) into the extension, where
// smclib reads it.
void SyncCard(DeviceExtension& extension);

// Ends the pending card-tracking request with `status`; with `file`, only
// a request made through that file.
void EndCardTracking(SMARTCARD_EXTENSION& card, NTSTATUS status, PFILE_OBJECT file = nullptr);

}  // namespace qvx::driver::wdm
