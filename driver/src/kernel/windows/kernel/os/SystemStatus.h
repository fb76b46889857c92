// The system status values, for the Windows kernel build: the real
// headers' (ntstatus.h through wdm.h).
#pragma once

#include "kernel/os/Wdm.h"

namespace qvx::driver {

using NTSTATUS = ::NTSTATUS;

}  // namespace qvx::driver
