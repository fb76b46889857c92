// Where a driver status becomes a pcsc-lite response code: only at the
// entry points, and per entry point, since pcscd reads the same code
// differently from different calls.
#pragma once

#include "ifd/PcscIfd.h"
#include "kernel/NtStatus.h"

namespace qvx::driver {

enum class Entry { Channel, Control, Power, Transmit, Protocol, Presence, Polling };

RESPONSECODE ToResponseCode(Entry entry, NTSTATUS status);

}  // namespace qvx::driver
