// The pcsc-lite IFD handler entry points: the only symbols the module
// exports. pcscd's calls take the place of the system's requests: opening
// a channel adds and starts a device, closing it removes the device,
// IFDHControl carries the vendor codes, and the others are the smart-card
// reader functions.
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "device/Device.h"
#include "device/Driver.h"
#include "ifd/Capabilities.h"
#include "ifd/Channels.h"
#include "ifd/PcscIfd.h"
#include "ifd/PcscdLog.h"
#include "ifd/Reopen.h"
#include "ifd/ResponseCodes.h"
#include "kernel/DebugPrint.h"
#include "kernel/Event.h"
#include "reader/ServedVendorCodes.h"

#define QVX_EXPORT extern "C" __attribute__((visibility("default")))

namespace qvx::driver {
namespace {

void LoadOnce() {
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    RouteDebugLinesToPcscd();
    DriverEntry();
  });
}

// Stands in for Plug and Play's answer to a device that reported itself
// failed: its state is queried and it is taken out of service before its
// next request. The last-error read right after the failing request still
// gets its record, as it would while Plug and Play gets round to the query.
void ReactToFailedDevice(CDevice& device) {
  if (!device.DeviceFailed() || device.State() != DeviceState::Started) {
    return;
  }
  std::uint32_t state = 0;
  if (NT_SUCCESS(device.QueryPnpDeviceState(&state)) && (state & PNP_DEVICE_FAILED) != 0) {
    DbgPrint("Meridel: device failed, taken out of service");
    device.SurpriseRemoval();
  }
}

RESPONSECODE PollCardEvent(DWORD lun, int timeoutMs) {
  const std::optional<CChannel> channel = Channels().Get(lun);
  if (!channel) {
    return IFD_NO_SUCH_DEVICE;
  }
  if (channel->device && !channel->link->Gone()) {
    const std::uint32_t timeout = timeoutMs < 0 ? kInfinite : static_cast<std::uint32_t>(timeoutMs);
    return ToResponseCode(Entry::Polling, channel->device->TrackCard(timeout));
  }
  // Gone: there are no card events to wait for. Waiting for the next
  // reopen attempt instead keeps pcscd's loop to one round per interval;
  // the answer is that of a timed-out poll either way, so pcscd asks for
  // the presence next (and learns of a device that is back).
  const std::chrono::milliseconds limit =
      timeoutMs < 0 ? CReopenPacing::kInterval : std::chrono::milliseconds(timeoutMs);
  if (channel->pacing->WaitUntilDue(limit)) {
    ReopenIfDue(lun);
  }
  return IFD_SUCCESS;
}

RESPONSECODE StopPollingCardEvents(DWORD lun) {
  const std::optional<CChannel> channel = Channels().Get(lun);
  if (channel) {
    if (channel->device) {
      channel->device->InterruptCardTracking();
    }
    channel->pacing->Interrupt();
  }
  return IFD_SUCCESS;
}

constexpr PollingFunctions kPolling{&PollCardEvent, &StopPollingCardEvents};

std::size_t Capacity(const DWORD* length) { return length == nullptr ? 0 : *length; }

void SetLength(PDWORD length, std::size_t value) {
  if (length != nullptr) {
    *length = static_cast<DWORD>(value);
  }
}

}  // namespace
}  // namespace qvx::driver

using namespace qvx::driver;

QVX_EXPORT RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
  LoadOnce();
  if (DeviceName == nullptr) {
    return IFD_COMMUNICATION_ERROR;
  }
  if (Channels().Get(Lun)) {
    DbgPrint("Meridel: reader %02X is already open", static_cast<unsigned>(ReaderIndexOf(Lun)));
    return IFD_COMMUNICATION_ERROR;
  }
  OpenedDevice opened = OpenDevice(DeviceName, ReaderIndexOf(Lun));
  if (!opened.device) {
    if (opened.failure == IFD_NO_SUCH_DEVICE) {
      DbgPrint("Meridel: cannot open %s", DeviceName);
    }
    return opened.failure;
  }
  CChannel channel;
  channel.deviceName = DeviceName;
  channel.device = opened.device;
  channel.link = opened.link;
  if (!Channels().Insert(Lun, std::move(channel))) {
    opened.device->Remove();
    return IFD_COMMUNICATION_ERROR;
  }
  return IFD_SUCCESS;
}

QVX_EXPORT RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
  LoadOnce();
  // The device is found by name only (DEVICENAME in the reader
  // configuration, or the USB hotplug name).
  DbgPrint("Meridel: reader %02X channel %lu has no device name",
           static_cast<unsigned>(ReaderIndexOf(Lun)), static_cast<unsigned long>(Channel));
  return IFD_COMMUNICATION_ERROR;
}

QVX_EXPORT RESPONSECODE IFDHCloseChannel(DWORD Lun) {
  const std::optional<CChannel> channel = Channels().Take(Lun);
  if (!channel) {
    return IFD_COMMUNICATION_ERROR;
  }
  channel->pacing->Interrupt();
  if (channel->device) {
    channel->device->Remove();
  }
  return IFD_SUCCESS;
}

QVX_EXPORT RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
  return GetCapability(Channels().Find(Lun), Tag, Length, Value, kPolling);
}

QVX_EXPORT RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD /*Length*/,
                                            PUCHAR /*Value*/) {
  const std::optional<CChannel> channel = Channels().Get(Lun);
  if (!channel) {
    return IFD_COMMUNICATION_ERROR;
  }
  if (Tag == TAG_IFD_DEVICE_REMOVED) {
    // The USB device is gone; its channel is closed next.
    if (channel->device) {
      channel->device->SurpriseRemoval();
    }
    return IFD_SUCCESS;
  }
  return IFD_ERROR_TAG;
}

QVX_EXPORT RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR /*Flags*/,
                                                  UCHAR /*PTS1*/, UCHAR /*PTS2*/, UCHAR /*PTS3*/) {
  RESPONSECODE missing = IFD_SUCCESS;
  const std::shared_ptr<CDevice> device = ServingDevice(Lun, &missing);
  if (!device) {
    return missing;
  }
  const auto requested = static_cast<std::uint32_t>(Protocol & 0xFFFFFFFFu);
  std::uint32_t selected = 0;
  const NTSTATUS status = device->SetProtocol(requested, &selected);
  if (!NT_SUCCESS(status)) {
    return ToResponseCode(Entry::Protocol, status);
  }
  return (selected & requested) != 0 ? IFD_SUCCESS : IFD_PROTOCOL_NOT_SUPPORTED;
}

QVX_EXPORT RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
  SetLength(AtrLength, 0);
  RESPONSECODE missing = IFD_SUCCESS;
  const std::shared_ptr<CDevice> device = ServingDevice(Lun, &missing);
  if (!device) {
    return missing;
  }
  ReactToFailedDevice(*device);
  PowerAction action;
  switch (Action) {
    case IFD_POWER_UP:
      action = PowerAction::ColdReset;
      break;
    case IFD_RESET:
      action = PowerAction::WarmReset;
      break;
    case IFD_POWER_DOWN:
      action = PowerAction::PowerDown;
      break;
    default:
      return IFD_NOT_SUPPORTED;
  }
  // pcscd's ATR buffers hold MAX_ATR_SIZE bytes (not always said in
  // *AtrLength); the power-down call passes none.
  const std::size_t capacity = Atr == nullptr ? 0 : MAX_ATR_SIZE;
  std::size_t returned = 0;
  const NTSTATUS status = device->CardPower(action, Atr, capacity, &returned);
  if (!NT_SUCCESS(status)) {
    return ToResponseCode(Entry::Power, status);
  }
  SetLength(AtrLength, returned);
  return IFD_SUCCESS;
}

QVX_EXPORT RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER /*SendPci*/, PUCHAR TxBuffer,
                                          DWORD TxLength, PUCHAR RxBuffer, PDWORD RxLength,
                                          PSCARD_IO_HEADER /*RecvPci*/) {
  const std::size_t capacity = Capacity(RxLength);
  SetLength(RxLength, 0);
  RESPONSECODE missing = IFD_SUCCESS;
  const std::shared_ptr<CDevice> device = ServingDevice(Lun, &missing);
  if (!device) {
    return missing;
  }
  ReactToFailedDevice(*device);
  if (TxBuffer == nullptr && TxLength != 0) {
    return IFD_COMMUNICATION_ERROR;
  }
  std::size_t returned = 0;
  const NTSTATUS status = device->Transmit(TxBuffer, TxLength, RxBuffer, capacity, &returned);
  if (!NT_SUCCESS(status)) {
    return ToResponseCode(Entry::Transmit, status);
  }
  SetLength(RxLength, returned);
  return IFD_SUCCESS;
}

QVX_EXPORT RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength,
                                    PUCHAR RxBuffer, DWORD RxLength, LPDWORD pdwBytesReturned) {
  SetLength(pdwBytesReturned, 0);
  RESPONSECODE missing = IFD_SUCCESS;
  const std::shared_ptr<CDevice> device = ServingDevice(Lun, &missing);
  if (!device) {
    return missing;
  }
  if (TxBuffer == nullptr && TxLength != 0) {
    return IFD_COMMUNICATION_ERROR;
  }
  if (dwControlCode > 0xFFFFFFFFu) {
    return IFD_ERROR_NOT_SUPPORTED;
  }
  if (dwControlCode != kGetLastError) {
    ReactToFailedDevice(*device);
  }
  std::size_t returned = 0;
  const NTSTATUS status = device->DeviceControl(static_cast<std::uint32_t>(dwControlCode), TxBuffer,
                                                TxLength, RxBuffer, RxLength, &returned);
  if (!NT_SUCCESS(status)) {
    return ToResponseCode(Entry::Control, status);
  }
  SetLength(pdwBytesReturned, returned);
  return IFD_SUCCESS;
}

QVX_EXPORT RESPONSECODE IFDHICCPresence(DWORD Lun) {
  // A gone device is opened again from here too when an attempt is due.
  RESPONSECODE missing = IFD_SUCCESS;
  std::shared_ptr<CDevice> device = ServingDevice(Lun, &missing);
  if (!device && missing == IFD_NO_SUCH_DEVICE && ReopenIfDue(Lun)) {
    device = ServingDevice(Lun, &missing);
  }
  if (!device) {
    return missing;
  }
  CardState state = CardState::Unknown;
  const NTSTATUS status = device->GetCardState(&state);
  if (!NT_SUCCESS(status)) {
    return ToResponseCode(Entry::Presence, status);
  }
  return state >= CardState::Present ? IFD_ICC_PRESENT : IFD_ICC_NOT_PRESENT;
}
