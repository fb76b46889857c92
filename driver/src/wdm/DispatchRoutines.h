// The driver's dispatch routines, one per major function it serves.
#pragma once

#include "kernel/os/Wdm.h"

namespace qvx::driver::wdm {

NTSTATUS NTAPI DispatchPassDown(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchShutdown(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchSystemControl(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp);

// Completes the request with `status` and nothing returned.
NTSTATUS Complete(PIRP irp, NTSTATUS status);

}  // namespace qvx::driver::wdm
