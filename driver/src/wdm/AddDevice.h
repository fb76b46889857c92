// The driver's AddDevice routine.
#pragma once

#include "kernel/os/Wdm.h"

namespace qvx::driver::wdm {

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical);

}  // namespace qvx::driver::wdm
