// The device broke the framing: the informational hard error and a fresh
// query of the device state, which Pnp.cpp answers with PNP_DEVICE_FAILED.
#include "kernel/DebugPrint.h"
#include "wdm/DeviceExtension.h"

// ntoskrnl exports it; no MinGW header declares it.
extern "C" NTKERNELAPI BOOLEAN NTAPI IoRaiseInformationalHardError(NTSTATUS status,
                                                                   PUNICODE_STRING text,
                                                                   PKTHREAD thread);

namespace qvx::driver::wdm {

namespace {

// Wine's ntoskrnl exports both routines as stubs that raise an exception,
// which would end the process hosting the driver; it names itself by an
// export of its own.
bool KernelHasFailureRoutines() {
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"wine_ntoskrnl_main_loop");
  return MmGetSystemRoutineAddress(&name) == nullptr;
}

}  // namespace

void CFailureReport::OnDeviceFailed() {
  if (!KernelHasFailureRoutines()) {
    DbgPrint("Meridel: the kernel cannot raise the hard error; the state is answered when queried");
    return;
  }
  IoRaiseInformationalHardError(STATUS_SMARTCARD_IO_ERROR, nullptr, nullptr);
  IoInvalidateDeviceState(m_physical);
}

}  // namespace qvx::driver::wdm
