// What IFDHGetCapabilities answers: pcscd's own tags and the reader
// attributes that SCardGetAttrib asks for.
#pragma once

#include <memory>

#include "device/Device.h"
#include "ifd/PcscIfd.h"

namespace qvx::driver {

// The polling pair pcscd runs the card-tracking thread with.
using PollingFunction = RESPONSECODE (*)(DWORD lun, int timeoutMs);
using StopPollingFunction = RESPONSECODE (*)(DWORD lun);

struct PollingFunctions {
  PollingFunction poll;
  StopPollingFunction stop;
};

// *length is the capacity of value on entry, the size of the answer on
// return (0 on failure). `device` may be null for the driver-wide tags.
RESPONSECODE GetCapability(const std::shared_ptr<CDevice>& device, DWORD tag, PDWORD length,
                           PUCHAR value, const PollingFunctions& polling);

}  // namespace qvx::driver
