// smclib's device control, as far as the driver uses it (Smartcard.h).
#include "wdm/Smartcard.h"

namespace qvx::driver::wdm {

namespace {

// Copies `size` bytes of `value` as the reply, or refuses a buffer that
// cannot hold them: an attribute is never cut short.
NTSTATUS Reply(PIRP irp, ULONG capacity, const void* value, ULONG size) {
  if (capacity < size) {
    return STATUS_BUFFER_TOO_SMALL;
  }
  RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, value, size);
  irp->IoStatus.Information = size;
  return STATUS_SUCCESS;
}

NTSTATUS ReplyUlong(PIRP irp, ULONG capacity, ULONG value) {
  return Reply(irp, capacity, &value, sizeof value);
}

NTSTATUS GetAttribute(SMARTCARD_EXTENSION& card, PIRP irp, ULONG inLength, ULONG capacity) {
  if (inLength < sizeof(ULONG)) {
    return STATUS_INVALID_PARAMETER;
  }
  const ULONG id = *static_cast<const ULONG*>(irp->AssociatedIrp.SystemBuffer);
  const SCARD_READER_CAPABILITIES& caps = card.ReaderCapabilities;
  switch (id) {
    case SCARD_ATTR_VENDOR_NAME:
      return Reply(irp, capacity, card.VendorAttr.VendorName.Buffer,
                   card.VendorAttr.VendorName.Length);
    case SCARD_ATTR_VENDOR_IFD_TYPE:
      return Reply(irp, capacity, card.VendorAttr.IfdType.Buffer, card.VendorAttr.IfdType.Length);
    case SCARD_ATTR_DEVICE_UNIT:
      return ReplyUlong(irp, capacity, card.VendorAttr.UnitNo);
    case SCARD_ATTR_CHANNEL_ID:
      return ReplyUlong(irp, capacity, caps.ReaderType << 16 | caps.Channel);
    case SCARD_ATTR_PROTOCOL_TYPES:
      return ReplyUlong(irp, capacity, caps.SupportedProtocols);
    case SCARD_ATTR_DEFAULT_CLK:
      return ReplyUlong(irp, capacity, caps.CLKFrequency.Default);
    case SCARD_ATTR_MAX_CLK:
      return ReplyUlong(irp, capacity, caps.CLKFrequency.Max);
    case SCARD_ATTR_DEFAULT_DATA_RATE:
      return ReplyUlong(irp, capacity, caps.DataRate.Default);
    case SCARD_ATTR_MAX_DATA_RATE:
      return ReplyUlong(irp, capacity, caps.DataRate.Max);
    case SCARD_ATTR_MAX_IFSD:
      return ReplyUlong(irp, capacity, caps.MaxIFSD);
    case SCARD_ATTR_CHARACTERISTICS:
      return ReplyUlong(irp, capacity, caps.MechProperties);
    case SCARD_ATTR_CURRENT_PROTOCOL_TYPE:
      return ReplyUlong(irp, capacity, 0);
    default:
      return STATUS_NOT_SUPPORTED;
  }
}

}  // namespace

NTSTATUS SmartcardInitialize(PSMARTCARD_EXTENSION extension) {
  return extension->Version < SMCLIB_VERSION ? STATUS_INVALID_PARAMETER : STATUS_SUCCESS;
}

VOID SmartcardExit(PSMARTCARD_EXTENSION /*extension*/) {}

NTSTATUS SmartcardDeviceControl(PSMARTCARD_EXTENSION extension, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;
  irp->IoStatus.Information = 0;
  NTSTATUS status = STATUS_NOT_SUPPORTED;
  if (code == IOCTL_SMARTCARD_GET_ATTRIBUTE) {
    status = GetAttribute(*extension, irp, inLength, capacity);
  } else if (code == IOCTL_SMARTCARD_GET_STATE) {
    status = ReplyUlong(irp, capacity, extension->ReaderCapabilities.CurrentState);
  }
  irp->IoStatus.Status = status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

}  // namespace qvx::driver::wdm
