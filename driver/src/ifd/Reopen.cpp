#include "ifd/Reopen.h"

#include <optional>
#include <utility>

#include "device/ChannelDevice.h"
#include "ifd/Channels.h"
#include "ifd/ResponseCodes.h"
#include "kernel/DebugPrint.h"
#include "transport/LowerEdgeFactory.h"

namespace qvx::driver {

namespace {

bool Working(const CChannel& channel) { return channel.device && !channel.link->Gone(); }

}  // namespace

OpenedDevice OpenDevice(const std::string& deviceName, std::uint32_t readerIndex) {
  OpenedDevice opened;
  opened.link = std::make_shared<CLinkState>();
  std::unique_ptr<ILowerEdge> lower = WatchLowerEdge(OpenLowerEdge(deviceName), opened.link);
  if (!lower) {
    opened.failure = IFD_NO_SUCH_DEVICE;
    return opened;
  }
  std::shared_ptr<CDevice> device = AddChannelDevice(std::move(lower), readerIndex);
  if (!device) {
    opened.failure = IFD_COMMUNICATION_ERROR;
    return opened;
  }
  const NTSTATUS status = device->Start();
  if (!NT_SUCCESS(status)) {
    device->Remove();
    opened.failure = ToResponseCode(Entry::Channel, status);
    return opened;
  }
  opened.device = std::move(device);
  return opened;
}

std::shared_ptr<CDevice> ServingDevice(DWORD lun, RESPONSECODE* missing) {
  const std::optional<CChannel> channel = Channels().Get(lun);
  if (!channel) {
    *missing = IFD_COMMUNICATION_ERROR;
    return nullptr;
  }
  if (!Working(*channel)) {
    *missing = IFD_NO_SUCH_DEVICE;
    return nullptr;
  }
  return channel->device;
}

bool ReopenIfDue(DWORD lun) {
  const std::optional<CChannel> channel = Channels().Get(lun);
  if (!channel) {
    return false;
  }
  if (Working(*channel)) {
    return true;
  }
  if (!channel->pacing->Claim()) {
    return false;
  }
  const unsigned reader = static_cast<unsigned>(ReaderIndexOf(lun));
  if (const std::shared_ptr<CDevice>& gone = channel->device) {
    // Out of the channel first, so no new request reaches it.
    if (!Channels().Replace(lun, gone, nullptr, nullptr)) {
      return false;  // closed or replaced meanwhile
    }
    DbgPrint("Meridel: reader %02X: device gone, taken out of service", reader);
    gone->SurpriseRemoval();
    gone->Remove();
  }
  OpenedDevice opened = OpenDevice(channel->deviceName, ReaderIndexOf(lun));
  if (opened.device && opened.link->Gone()) {
    // Connected, but it went again at once (a simulator refuses so while
    // unplugged).
    opened.device->Remove();
    opened.device.reset();
  }
  if (!opened.device) {
    return false;
  }
  if (!Channels().Replace(lun, nullptr, opened.device, opened.link)) {
    opened.device->Remove();
    return false;
  }
  DbgPrint("Meridel: reader %02X: device back", reader);
  return true;
}

}  // namespace qvx::driver
