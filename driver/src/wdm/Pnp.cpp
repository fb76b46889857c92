// Plug and Play: start, the queries, stop, removal and surprise removal,
// capabilities.
#include "kernel/DebugPrint.h"
#include "wdm/DeviceExtension.h"
#include "wdm/Dispatch.h"

namespace qvx::driver::wdm {

namespace {

constexpr char kTagPnp[] = "PnP";
// The first bytes of DEVICE_CAPABILITIES a caller must hand over.
constexpr USHORT kMinimumCapabilitiesSize = 64;

NTSTATUS NTAPI SignalCompletion(PDEVICE_OBJECT /*device*/, PIRP /*irp*/, PVOID context) {
  KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
  // The request is completed again by whoever waited.
  return STATUS_MORE_PROCESSING_REQUIRED;
}

// Passes the request down and waits until the lower drivers are done.
NTSTATUS PassDownAndWait(DeviceExtension& extension, PIRP irp) {
  KEVENT done;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  IoCopyCurrentIrpStackLocationToNext(irp);
  IoSetCompletionRoutine(irp, &SignalCompletion, &done, TRUE, TRUE, TRUE);
  if (IoCallDriver(extension.lower, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
  }
  return irp->IoStatus.Status;
}

NTSTATUS PassDown(DeviceExtension& extension, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(extension.lower, irp);
}

void DisableInterface(DeviceExtension& extension) {
  if (extension.interfaceName.Buffer != nullptr) {
    IoSetDeviceInterfaceState(&extension.interfaceName, FALSE);
    RtlFreeUnicodeString(&extension.interfaceName);
  }
}

NTSTATUS Start(DeviceExtension& extension, PIRP irp) {
  NTSTATUS status = PassDownAndWait(extension, irp);
  if (NT_SUCCESS(status)) {
    // Configures the USB device and asks for the card status.
    status = extension.device->Start();
  }
  if (NT_SUCCESS(status)) {
    status = IoSetDeviceInterfaceState(&extension.interfaceName, TRUE);
  }
  if (NT_SUCCESS(status)) {
    extension.started = true;
    DbgPrint("Meridel: unit %u started", static_cast<unsigned>(extension.unit));
  }
  irp->IoStatus.Status = status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS QueryCapabilities(DeviceExtension& extension, PIRP irp) {
  PDEVICE_CAPABILITIES caps =
      IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceCapabilities.Capabilities;
  if (caps->Version == 0 || caps->Size < kMinimumCapabilitiesSize) {
    return Complete(irp, STATUS_UNSUCCESSFUL);
  }
  caps->SurpriseRemovalOK = TRUE;
  const NTSTATUS status = PassDownAndWait(extension, irp);
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS Remove(DeviceExtension& extension, PIRP irp) {
  if (!extension.surpriseRemoved) {
    DisableInterface(extension);
  }
  extension.started = false;
  extension.removed = true;
  // The core ends the cancel watcher, aborts the pipes (unless surprise
  // removal did), gives the unit back and waits for running requests; its
  // lower edge then waits until no transfer can complete any more.
  extension.device->Remove();
  extension.device.Reset();
  extension.removeLock.ReleaseAndWait(kTagPnp);
  SmartcardExit(&extension.smartcard);
  irp->IoStatus.Status = STATUS_SUCCESS;
  const NTSTATUS status = PassDown(extension, irp);
  PDEVICE_OBJECT self = extension.self;
  IoDetachDevice(extension.lower);
  IoUnregisterShutdownNotification(self);
  extension.~DeviceExtension();
  IoDeleteDevice(self);
  return status;
}

}  // namespace

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension& extension = Extension(device);
  if (extension.removed) {
    return Complete(irp, STATUS_DELETE_PENDING);
  }
  const NTSTATUS held = extension.removeLock.Acquire(kTagPnp);
  if (!NT_SUCCESS(held)) {
    return Complete(irp, held);
  }
  NTSTATUS status = STATUS_SUCCESS;
  switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
      status = Start(extension, irp);
      break;
    case IRP_MN_REMOVE_DEVICE:
      // Hands over the hold: nothing is released after this.
      return Remove(extension, irp);
    case IRP_MN_SURPRISE_REMOVAL:
      extension.surpriseRemoved = true;
      extension.started = false;
      DisableInterface(extension);
      // A request waiting for the device ends through the aborted pipes.
      extension.device->SurpriseRemoval();
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(extension, irp);
      break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(extension, irp);
      break;
    case IRP_MN_STOP_DEVICE:
      extension.device->Stop();
      extension.started = false;
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(extension, irp);
      break;
    case IRP_MN_QUERY_CAPABILITIES:
      status = QueryCapabilities(extension, irp);
      break;
    default:
      status = PassDown(extension, irp);
      break;
  }
  extension.removeLock.Release(kTagPnp);
  return status;
}

NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT device, PIRP irp) {
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(Extension(device).lower, irp);
}

}  // namespace qvx::driver::wdm
