// Create, close, cleanup, shutdown, system control and device control.
#include "wdm/DispatchRoutines.h"

#include "wdm/DeviceExtension.h"
#include "wdm/ReaderFunctions.h"
#include "wdm/Smartcard.h"

namespace qvx::driver::wdm {

NTSTATUS Complete(PIRP irp, NTSTATUS status) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS NTAPI DispatchPassDown(PDEVICE_OBJECT device, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(Extension(device).lower, irp);
}

// A tracking request made through the file being closed ends with it;
// one made through another handle keeps waiting.
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension& extension = Extension(device);
  if (extension.smartcard.OsData != nullptr) {
    EndCardTracking(extension.smartcard, STATUS_SUCCESS,
                    IoGetCurrentIrpStackLocation(irp)->FileObject);
  }
  return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchShutdown(PDEVICE_OBJECT /*device*/, PIRP irp) {
  return Complete(irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchSystemControl(PDEVICE_OBJECT device, PIRP irp) {
  if (Extension(device).removed) {
    return Complete(irp, STATUS_DELETE_PENDING);
  }
  return DispatchPassDown(device, irp);
}

namespace {

constexpr char kTagIoctl[] = "Ioct";

// What goes to smclib: its own codes and the vendor codes; anything else
// (0x312024 and the 0x2220xx family among them) is refused.
bool Served(ULONG code) {
  switch (code) {
    case IOCTL_SMARTCARD_POWER:
    case IOCTL_SMARTCARD_GET_ATTRIBUTE:
    case IOCTL_SMARTCARD_SET_ATTRIBUTE:
    case IOCTL_SMARTCARD_TRANSMIT:
    case IOCTL_SMARTCARD_IS_PRESENT:
    case IOCTL_SMARTCARD_IS_ABSENT:
    case IOCTL_SMARTCARD_SET_PROTOCOL:
    case IOCTL_SMARTCARD_GET_STATE:
    case 0x312004:
    case 0x312008:
    case 0x31200C:
    case 0x312010:
    case 0x312014:
    case 0x312018:
    case 0x31201C:
    case 0x312020:
    case 0x312028:
      return true;
    default:
      return false;
  }
}

}  // namespace

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension& extension = Extension(device);
  if (!extension.started) {
    return Complete(irp, STATUS_DEVICE_REMOVED);
  }
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  if (!NT_SUCCESS(extension.removeLock.Acquire(kTagIoctl))) {
    // The state stays readable while the device goes: the last one seen.
    return code == IOCTL_SMARTCARD_GET_STATE ? SmartcardDeviceControl(&extension.smartcard, irp)
                                             : Complete(irp, STATUS_DEVICE_REMOVED);
  }
  // smclib reads the card from its extension.
  SyncCard(extension);
  const NTSTATUS status = Served(code) ? SmartcardDeviceControl(&extension.smartcard, irp)
                                       : Complete(irp, STATUS_INVALID_PARAMETER);
  extension.removeLock.Release(kTagIoctl);
  return status;
}

}  // namespace qvx::driver::wdm
