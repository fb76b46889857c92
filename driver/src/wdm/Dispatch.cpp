// Create, close, cleanup, shutdown, system control and device control.
#include "wdm/Dispatch.h"

#include "wdm/DeviceExtension.h"
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

NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT /*device*/, PIRP irp) {
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

// The vendor codes (0x3120xx) and the card power to the core, which
// serves them as the Linux driver does; smclib would hand them to the
// driver's callbacks with the same buffers.
NTSTATUS Vendor(DeviceExtension& extension, PIRP irp, ULONG code) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;
  auto* buffer = static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer);
  std::size_t returned = 0;
  NTSTATUS status = STATUS_NOT_SUPPORTED;
  if (code == IOCTL_SMARTCARD_POWER) {
    if (inLength < sizeof(ULONG)) {
      status = STATUS_INVALID_PARAMETER;
    } else {
      const ULONG minor = *reinterpret_cast<const ULONG*>(buffer);
      const PowerAction action = minor == SCARD_POWER_DOWN   ? PowerAction::PowerDown
                                 : minor == SCARD_WARM_RESET ? PowerAction::WarmReset
                                                             : PowerAction::ColdReset;
      status = extension.device->CardPower(action, buffer, capacity, &returned);
    }
  } else if ((code & 0xFFFFF000u) == 0x00312000u) {
    // Input and output share the system buffer: the core reads the input
    // before it writes the reply.
    status = extension.device->DeviceControl(code, buffer, inLength, buffer, capacity, &returned);
  }
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = NT_SUCCESS(status) ? returned : 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

}  // namespace

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension& extension = Extension(device);
  if (!extension.started) {
    return Complete(irp, STATUS_DEVICE_REMOVED);
  }
  // smclib reads the card's state from its extension.
  CardState state = CardState::Unknown;
  if (NT_SUCCESS(extension.device->GetCardState(&state))) {
    extension.smartcard.ReaderCapabilities.CurrentState = static_cast<ULONG>(state);
  }
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  if (!NT_SUCCESS(extension.removeLock.Acquire(kTagIoctl))) {
    // The state stays readable while the device goes.
    return code == IOCTL_SMARTCARD_GET_STATE ? SmartcardDeviceControl(&extension.smartcard, irp)
                                             : Complete(irp, STATUS_DEVICE_REMOVED);
  }
  NTSTATUS status = STATUS_INVALID_PARAMETER;
  if (!Served(code)) {
    status = Complete(irp, status);
  } else if ((code & 0xFFFF0000u) == 0x00310000u && code != IOCTL_SMARTCARD_GET_ATTRIBUTE &&
             code != IOCTL_SMARTCARD_GET_STATE) {
    status = Vendor(extension, irp, code);
  } else {
    status = SmartcardDeviceControl(&extension.smartcard, irp);
  }
  extension.removeLock.Release(kTagIoctl);
  return status;
}

}  // namespace qvx::driver::wdm
