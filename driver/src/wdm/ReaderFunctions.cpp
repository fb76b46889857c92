// smclib's reader functions over the shared core, and the card-tracking
// request with its cancel routine.
#include "wdm/ReaderFunctions.h"

#include "reader/CardPower.h"

namespace qvx::driver::wdm {

namespace {

DeviceExtension& Of(PSMARTCARD_EXTENSION card) {
  return *static_cast<DeviceExtension*>(card->ReaderExtension);
}

void SetInformation(PSMARTCARD_EXTENSION card, std::size_t returned) {
  *card->IoRequest.Information = returned;
}

NTSTATUS CardPower(PSMARTCARD_EXTENSION card) {
  DeviceExtension& extension = Of(card);
  const ULONG minor = card->MinorIoControlCode;
  const PowerAction action = minor == SCARD_POWER_DOWN   ? PowerAction::PowerDown
                             : minor == SCARD_WARM_RESET ? PowerAction::WarmReset
                                                         : PowerAction::ColdReset;
  std::size_t returned = 0;
  const NTSTATUS status = extension.device->CardPower(action, card->IoRequest.ReplyBuffer,
                                                      card->IoRequest.ReplyBufferLength, &returned);
  SetInformation(card, returned);
  SyncCard(extension);
  return status;
}

NTSTATUS SetProtocol(PSMARTCARD_EXTENSION card) {
  DeviceExtension& extension = Of(card);
  std::uint32_t selected = 0;
  const NTSTATUS status = extension.device->SetProtocol(card->MinorIoControlCode, &selected);
  if (NT_SUCCESS(status)) {
    const ULONG value = selected;
    RtlCopyMemory(card->IoRequest.ReplyBuffer, &value, sizeof value);
    SetInformation(card, sizeof value);
  }
  SyncCard(extension);
  return status;
}

// The reply is the request's protocol header, then the answer and its
// status word.
NTSTATUS Transmit(PSMARTCARD_EXTENSION card) {
  DeviceExtension& extension = Of(card);
  NTSTATUS status = SmartcardRawRequest(card);
  if (!NT_SUCCESS(status)) {
    return status;
  }
  SCARD_IO_REQUEST header;
  RtlCopyMemory(&header, card->IoRequest.RequestBuffer, sizeof header);
  header.cbPciLength = sizeof header;
  std::size_t returned = 0;
  status =
      extension.device->Transmit(card->SmartcardRequest.Buffer, card->SmartcardRequest.BufferLength,
                                 card->IoRequest.ReplyBuffer + sizeof header,
                                 card->IoRequest.ReplyBufferLength - sizeof header, &returned);
  if (NT_SUCCESS(status)) {
    RtlCopyMemory(card->IoRequest.ReplyBuffer, &header, sizeof header);
    SetInformation(card, sizeof header + returned);
  }
  SyncCard(extension);
  return status;
}

NTSTATUS Vendor(PSMARTCARD_EXTENSION card) {
  DeviceExtension& extension = Of(card);
  std::size_t returned = 0;
  // Input and output share the system buffer: the core reads the input
  // before it writes the reply.
  const NTSTATUS status = extension.device->DeviceControl(
      card->MajorIoControlCode, card->IoRequest.RequestBuffer, card->IoRequest.RequestBufferLength,
      card->IoRequest.ReplyBuffer, card->IoRequest.ReplyBufferLength, &returned);
  SetInformation(card, returned);
  SyncCard(extension);
  return status;
}

// What the request waits for, and whether the card's state gives it.
bool Holds(PIRP irp, CardState state) {
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  const bool absent = state <= CardState::Absent;
  return code == IOCTL_SMARTCARD_IS_ABSENT ? absent : !absent;
}

// Takes the tracking request out of OsData unless its cancel routine runs
// (which then completes it). Called under OsData's spin lock.
PIRP TakeTracking(SMARTCARD_EXTENSION& card) {
  PIRP irp = card.OsData->NotificationIrp;
  if (irp == nullptr || IoSetCancelRoutine(irp, nullptr) == nullptr) {
    return nullptr;
  }
  card.OsData->NotificationIrp = nullptr;
  return irp;
}

void CompleteTracking(PIRP irp, NTSTATUS status) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = 0;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
}

void NTAPI CancelTracking(PDEVICE_OBJECT device, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  SMARTCARD_EXTENSION& card = Extension(device).smartcard;
  KIRQL irql;
  KeAcquireSpinLock(&card.OsData->SpinLock, &irql);
  if (card.OsData->NotificationIrp == irp) {
    card.OsData->NotificationIrp = nullptr;
  }
  KeReleaseSpinLock(&card.OsData->SpinLock, irql);
  CompleteTracking(irp, STATUS_CANCELLED);
}

void EndIfHolds(SMARTCARD_EXTENSION& card, CardState state) {
  KIRQL irql;
  KeAcquireSpinLock(&card.OsData->SpinLock, &irql);
  PIRP irp = card.OsData->NotificationIrp;
  irp = irp != nullptr && Holds(irp, state) ? TakeTracking(card) : nullptr;
  KeReleaseSpinLock(&card.OsData->SpinLock, irql);
  if (irp != nullptr) {
    CompleteTracking(irp, STATUS_SUCCESS);
  }
}

NTSTATUS CardTracking(PSMARTCARD_EXTENSION card) {
  KIRQL irql;
  KeAcquireSpinLock(&card->OsData->SpinLock, &irql);
  PIRP irp = card->OsData->NotificationIrp;
  IoMarkIrpPending(irp);
  IoSetCancelRoutine(irp, &CancelTracking);
  // Cancelled before the routine was in place: nobody else ends it.
  const bool cancelled = irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr;
  if (cancelled) {
    card->OsData->NotificationIrp = nullptr;
  }
  KeReleaseSpinLock(&card->OsData->SpinLock, irql);
  if (cancelled) {
    CompleteTracking(irp, STATUS_CANCELLED);
    return STATUS_PENDING;
  }
  // The card may have come or gone since smclib looked.
  EndIfHolds(*card, Of(card).device->Card().State());
  return STATUS_PENDING;
}

}  // namespace

void CTrackingListener::OnTrackingCompleted(CardState state) {
  if (m_card.OsData != nullptr) {
    EndIfHolds(m_card, state);
  }
}

void SetReaderFunctions(SMARTCARD_EXTENSION& card) {
  card.ReaderFunction[RDF_CARD_POWER] = &CardPower;
  card.ReaderFunction[RDF_TRANSMIT] = &Transmit;
  card.ReaderFunction[RDF_CARD_TRACKING] = &CardTracking;
  card.ReaderFunction[RDF_SET_PROTOCOL] = &SetProtocol;
  card.ReaderFunction[RDF_IOCTL_VENDOR] = &Vendor;
}

void SyncCard(DeviceExtension& extension) {
  CCardState& state = extension.device->Card();
  SMARTCARD_EXTENSION& card = extension.smartcard;
  const AtrBytes atr = state.Atr();
  card.ReaderCapabilities.CurrentState = static_cast<ULONG>(state.State());
  card.CardCapabilities.Protocol.Supported = state.CardProtocols();
  card.CardCapabilities.Protocol.Selected = state.SelectedProtocol();
  RtlCopyMemory(card.CardCapabilities.ATR.Buffer, atr.data(), atr.size());
  card.CardCapabilities.ATR.Length = static_cast<UCHAR>(atr.size());
}

void EndCardTracking(SMARTCARD_EXTENSION& card, NTSTATUS status, PFILE_OBJECT file) {
  KIRQL irql;
  KeAcquireSpinLock(&card.OsData->SpinLock, &irql);
  PIRP irp = card.OsData->NotificationIrp;
  const bool ours =
      irp != nullptr && (file == nullptr || IoGetCurrentIrpStackLocation(irp)->FileObject == file);
  irp = ours ? TakeTracking(card) : nullptr;
  KeReleaseSpinLock(&card.OsData->SpinLock, irql);
  if (irp != nullptr) {
    CompleteTracking(irp, status);
  }
}

}  // namespace qvx::driver::wdm
