// smclib's device control, as far as the driver uses it (Smartcard.h).
#include "wdm/Smartcard.h"

#include "kernel/Pool.h"

namespace qvx::driver::wdm {

namespace {

// Zeroed pool under the driver's tag.
PVOID Allocate(SIZE_T size) {
  PVOID block = ExAllocatePoolWithTag(NonPagedPool, size, kPoolTag);
  if (block != nullptr) {
    RtlZeroMemory(block, size);
  }
  return block;
}

void Free(PVOID block) {
  if (block != nullptr) {
    ExFreePoolWithTag(block, kPoolTag);
  }
}

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

ULONG InputUlong(PIRP irp) { return *static_cast<const ULONG*>(irp->AssociatedIrp.SystemBuffer); }

NTSTATUS GetAttribute(SMARTCARD_EXTENSION& card, PIRP irp, ULONG inLength, ULONG capacity) {
  if (inLength < sizeof(ULONG)) {
    return STATUS_INVALID_PARAMETER;
  }
  const SCARD_READER_CAPABILITIES& caps = card.ReaderCapabilities;
  switch (InputUlong(irp)) {
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
      return ReplyUlong(irp, capacity, card.CardCapabilities.Protocol.Selected);
    case SCARD_ATTR_ATR_STRING:
      if (card.ReaderCapabilities.CurrentState <= SCARD_SWALLOWED) {
        return STATUS_INVALID_DEVICE_STATE;
      }
      return Reply(irp, capacity, card.CardCapabilities.ATR.Buffer,
                   card.CardCapabilities.ATR.Length);
    default:
      return STATUS_NOT_SUPPORTED;
  }
}

// The only attribute a caller may set here is the T=1 flag smclib itself
// keeps; the reader has no attribute function for the others.
NTSTATUS SetAttribute(PIRP irp, ULONG inLength) {
  if (inLength < sizeof(ULONG)) {
    return STATUS_INVALID_PARAMETER;
  }
  return InputUlong(irp) == SCARD_ATTR_SUPRESS_T1_IFS_REQUEST ? STATUS_SUCCESS
                                                              : STATUS_NOT_SUPPORTED;
}

// One call of a reader function with the request's buffers, under the
// device's mutex: the fields it reads are the extension's.
NTSTATUS CallReader(SMARTCARD_EXTENSION& card, ULONG function, PIRP irp, ULONG code, ULONG minor) {
  if (card.ReaderFunction[function] == nullptr) {
    return STATUS_NOT_SUPPORTED;
  }
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  KeWaitForSingleObject(&card.OsData->Mutex, Executive, KernelMode, FALSE, nullptr);
  auto* buffer = static_cast<PUCHAR>(irp->AssociatedIrp.SystemBuffer);
  card.OsData->CurrentIrp = irp;
  card.MajorIoControlCode = code;
  card.MinorIoControlCode = minor;
  card.IoRequest.Information = &irp->IoStatus.Information;
  card.IoRequest.RequestBuffer = buffer;
  card.IoRequest.RequestBufferLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  card.IoRequest.ReplyBuffer = buffer;
  card.IoRequest.ReplyBufferLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const NTSTATUS status = card.ReaderFunction[function](&card);
  card.OsData->CurrentIrp = nullptr;
  KeSetEvent(&card.OsData->Mutex, IO_NO_INCREMENT, FALSE);
  return status;
}

NTSTATUS Transmit(SMARTCARD_EXTENSION& card, PIRP irp, ULONG inLength, ULONG capacity) {
  if (inLength < sizeof(SCARD_IO_REQUEST)) {
    return STATUS_INVALID_PARAMETER;
  }
  const auto* header = static_cast<const SCARD_IO_REQUEST*>(irp->AssociatedIrp.SystemBuffer);
  // Only the protocol the card was set to, and only once it was.
  if (card.ReaderCapabilities.CurrentState != SCARD_SPECIFIC ||
      header->dwProtocol != card.CardCapabilities.Protocol.Selected) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  if (capacity < sizeof(SCARD_IO_REQUEST)) {
    return STATUS_BUFFER_TOO_SMALL;
  }
  return CallReader(card, RDF_TRANSMIT, irp, IOCTL_SMARTCARD_TRANSMIT, 0);
}

NTSTATUS SetProtocol(SMARTCARD_EXTENSION& card, PIRP irp, ULONG inLength, ULONG capacity) {
  if (inLength < sizeof(ULONG)) {
    return STATUS_INVALID_PARAMETER;
  }
  if (capacity < sizeof(ULONG)) {
    return STATUS_BUFFER_TOO_SMALL;
  }
  // A protocol is negotiated with a card that answered a reset.
  if (card.ReaderCapabilities.CurrentState < SCARD_NEGOTIABLE) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  return CallReader(card, RDF_SET_PROTOCOL, irp, IOCTL_SMARTCARD_SET_PROTOCOL, InputUlong(irp));
}

NTSTATUS TrackCard(SMARTCARD_EXTENSION& card, PIRP irp, ULONG code) {
  const bool absent = card.ReaderCapabilities.CurrentState <= SCARD_ABSENT;
  if ((code == IOCTL_SMARTCARD_IS_ABSENT) == absent) {
    return STATUS_SUCCESS;
  }
  if (card.ReaderFunction[RDF_CARD_TRACKING] == nullptr) {
    return STATUS_NOT_SUPPORTED;
  }
  KIRQL irql;
  KeAcquireSpinLock(&card.OsData->SpinLock, &irql);
  const bool busy = card.OsData->NotificationIrp != nullptr;
  if (!busy) {
    card.OsData->NotificationIrp = irp;
  }
  KeReleaseSpinLock(&card.OsData->SpinLock, irql);
  if (busy) {
    // The resource manager tracks a reader with one request at a time.
    return STATUS_DEVICE_BUSY;
  }
  card.MajorIoControlCode = code;
  // The reader function marks the request pending and completes it when
  // the card comes or goes; without the mutex, as it waits for nobody.
  return card.ReaderFunction[RDF_CARD_TRACKING](&card);
}

}  // namespace

NTSTATUS SmartcardInitialize(PSMARTCARD_EXTENSION extension) {
  if (extension->Version < SMCLIB_VERSION) {
    return STATUS_INVALID_PARAMETER;
  }
  extension->OsData = static_cast<POS_DEP_DATA>(Allocate(sizeof(OS_DEP_DATA)));
  extension->SmartcardRequest.Buffer =
      static_cast<PUCHAR>(Allocate(extension->SmartcardRequest.BufferSize));
  extension->SmartcardReply.Buffer =
      static_cast<PUCHAR>(Allocate(extension->SmartcardReply.BufferSize));
  if (extension->OsData == nullptr || extension->SmartcardRequest.Buffer == nullptr ||
      extension->SmartcardReply.Buffer == nullptr) {
    SmartcardExit(extension);
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  KeInitializeSpinLock(&extension->OsData->SpinLock);
  KeInitializeEvent(&extension->OsData->Mutex, SynchronizationEvent, TRUE);
  return STATUS_SUCCESS;
}

VOID SmartcardExit(PSMARTCARD_EXTENSION extension) {
  Free(extension->OsData);
  Free(extension->SmartcardRequest.Buffer);
  Free(extension->SmartcardReply.Buffer);
  extension->OsData = nullptr;
  extension->SmartcardRequest.Buffer = nullptr;
  extension->SmartcardReply.Buffer = nullptr;
}

NTSTATUS SmartcardRawRequest(PSMARTCARD_EXTENSION extension) {
  const ULONG length = extension->IoRequest.RequestBufferLength;
  const auto* header =
      reinterpret_cast<const SCARD_IO_REQUEST*>(extension->IoRequest.RequestBuffer);
  if (length < sizeof(SCARD_IO_REQUEST) || header->cbPciLength < sizeof(SCARD_IO_REQUEST) ||
      header->cbPciLength > length) {
    return STATUS_INVALID_PARAMETER;
  }
  const ULONG apdu = length - header->cbPciLength;
  if (apdu > extension->SmartcardRequest.BufferSize) {
    return STATUS_BUFFER_TOO_SMALL;
  }
  RtlCopyMemory(extension->SmartcardRequest.Buffer,
                extension->IoRequest.RequestBuffer + header->cbPciLength, apdu);
  extension->SmartcardRequest.BufferLength = apdu;
  return STATUS_SUCCESS;
}

NTSTATUS SmartcardDeviceControl(PSMARTCARD_EXTENSION extension, PIRP irp) {
  SMARTCARD_EXTENSION& card = *extension;
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;
  irp->IoStatus.Information = 0;
  NTSTATUS status = STATUS_NOT_SUPPORTED;
  switch (code) {
    case IOCTL_SMARTCARD_GET_ATTRIBUTE:
      status = GetAttribute(card, irp, inLength, capacity);
      break;
    case IOCTL_SMARTCARD_SET_ATTRIBUTE:
      status = SetAttribute(irp, inLength);
      break;
    case IOCTL_SMARTCARD_GET_STATE:
      status = ReplyUlong(irp, capacity, card.ReaderCapabilities.CurrentState);
      break;
    case IOCTL_SMARTCARD_POWER:
      status = inLength < sizeof(ULONG)
                   ? STATUS_INVALID_PARAMETER
                   : CallReader(card, RDF_CARD_POWER, irp, code, InputUlong(irp));
      break;
    case IOCTL_SMARTCARD_SET_PROTOCOL:
      status = SetProtocol(card, irp, inLength, capacity);
      break;
    case IOCTL_SMARTCARD_TRANSMIT:
      status = Transmit(card, irp, inLength, capacity);
      break;
    case IOCTL_SMARTCARD_IS_PRESENT:
    case IOCTL_SMARTCARD_IS_ABSENT:
      status = TrackCard(card, irp, code);
      break;
    default:
      status = card.ReaderFunction[RDF_IOCTL_VENDOR] == nullptr
                   ? STATUS_INVALID_DEVICE_REQUEST
                   : CallReader(card, RDF_IOCTL_VENDOR, irp, code, 0);
      break;
  }
  if (status == STATUS_PENDING) {
    return status;
  }
  if (!NT_SUCCESS(status)) {
    irp->IoStatus.Information = 0;
  }
  irp->IoStatus.Status = status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

}  // namespace qvx::driver::wdm
