// Plug and Play: start, the queries (waiting until no other request
// runs), stop, removal and surprise removal, capabilities, the device
// state.
#include "kernel/DebugPrint.h"
#include "wdm/DeviceExtension.h"
#include "wdm/DispatchRoutines.h"
#include "wdm/ReaderFunctions.h"
#include "wdm/UrbLowerEdge.h"

namespace qvx::driver::wdm {

namespace {

constexpr char kTagPnp[] = "PnP";
// How long surprise removal waits for its aborted transfers.
constexpr std::uint32_t kSurpriseDrainMs = 5000;
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

// Looked up rather than imported: systems before Vista lack the routine,
// and a missing import would keep the driver from loading there.
bool VistaOrLater() {
  using VersionCheck = BOOLEAN(NTAPI*)(ULONG);
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"RtlIsNtDdiVersionAvailable");
  const auto check = reinterpret_cast<VersionCheck>(MmGetSystemRoutineAddress(&name));
  return check != nullptr && check(NTDDI_VISTA) != FALSE;
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
    extension.vistaOrLater = VistaOrLater();
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
  if (NT_SUCCESS(status)) {
    // The copy power requests map system states with.
    DeviceCapabilities kept;
    kept.size = caps->Size;
    kept.version = caps->Version;
    for (std::size_t i = 0; i < kept.deviceState.size(); ++i) {
      kept.deviceState[i] = static_cast<DevicePowerState>(caps->DeviceState[i]);
    }
    extension.device->QueryCapabilities(kept);
  }
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
  EndCardTracking(extension.smartcard, STATUS_DEVICE_REMOVED);
  // Requests inside the lock may still ask the core, which now refuses
  // them: it goes only after the last one.
  extension.removeLock.ReleaseAndWait(kTagPnp);
  extension.device.Reset();
  extension.urb = nullptr;
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

// Succeeds once no other request runs; a refusal ends the query here.
NTSTATUS QueryRemoveOrStop(DeviceExtension& extension, PIRP irp, bool remove) {
  const NTSTATUS status = remove ? extension.device->QueryRemove() : extension.device->QueryStop();
  if (!NT_SUCCESS(status)) {
    return Complete(irp, status);
  }
  irp->IoStatus.Status = STATUS_SUCCESS;
  return PassDown(extension, irp);
}

// Without a configuration until the next start configures it again.
NTSTATUS Stop(DeviceExtension& extension, PIRP irp) {
  extension.started = false;
  extension.device->Stop();
  extension.urb->Unconfigure();
  DbgPrint("Meridel: unit %u stopped", static_cast<unsigned>(extension.unit));
  irp->IoStatus.Status = STATUS_SUCCESS;
  return PassDown(extension, irp);
}

NTSTATUS QueryDeviceState(DeviceExtension& extension, PIRP irp) {
  std::uint32_t state = 0;
  const NTSTATUS status = extension.device->QueryPnpDeviceState(&state);
  if (NT_SUCCESS(status) && (state & PNP_DEVICE_FAILED) != 0) {
    DbgPrint("Meridel: unit %u reported failed", static_cast<unsigned>(extension.unit));
    irp->IoStatus.Information |= state;
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
  }
  return PassDown(extension, irp);
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
  const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
  switch (minor) {
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
      // The aborted transfers come back before the removal goes down: the
      // bus driver completes what it still holds when the removal reaches
      // it, and Wine's completes those again when libusb gives their
      // transfers back, which broke its USB event thread for every device.
      if (extension.urb != nullptr && extension.urb->WaitIdle(kSurpriseDrainMs) == STATUS_TIMEOUT) {
        DbgPrint("Meridel: unit %u: transfers still below at the surprise removal",
                 static_cast<unsigned>(extension.unit));
      }
      EndCardTracking(extension.smartcard, STATUS_DEVICE_REMOVED);
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(extension, irp);
      break;
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
      status = QueryRemoveOrStop(extension, irp, minor == IRP_MN_QUERY_REMOVE_DEVICE);
      break;
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(extension, irp);
      break;
    case IRP_MN_STOP_DEVICE:
      status = Stop(extension, irp);
      break;
    case IRP_MN_QUERY_PNP_DEVICE_STATE:
      status = QueryDeviceState(extension, irp);
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

}  // namespace qvx::driver::wdm
