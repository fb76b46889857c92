// The driver's entry point: the dispatch table, AddDevice and the banner.
#include "device/UnitBitmap.h"
#include "kernel/DebugPrint.h"
#include "kernel/os/Wdm.h"
#include "wdm/AddDevice.h"
#include "wdm/DispatchRoutines.h"

namespace {

constexpr char kDriverVersion[] = "1.0.2.4";

void NTAPI DriverUnload(PDRIVER_OBJECT /*driver*/) {}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING /*registryPath*/) {
  using namespace qvx::driver::wdm;
  driver->MajorFunction[IRP_MJ_CREATE] = &DispatchPassDown;
  driver->MajorFunction[IRP_MJ_CLOSE] = &DispatchPassDown;
  driver->MajorFunction[IRP_MJ_CLEANUP] = &DispatchCleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = &DispatchDeviceControl;
  driver->MajorFunction[IRP_MJ_PNP] = &DispatchPnp;
  driver->MajorFunction[IRP_MJ_POWER] = &DispatchPower;
  driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = &DispatchSystemControl;
  driver->MajorFunction[IRP_MJ_SHUTDOWN] = &DispatchShutdown;
  driver->DriverExtension->AddDevice = &AddDevice;
  driver->DriverUnload = &DriverUnload;
  qvx::driver::DriverUnits().Clear();
  qvx::driver::DbgPrint("Meridel driver %s %s %s loaded", kDriverVersion, __DATE__, __TIME__);
  return STATUS_SUCCESS;
}
