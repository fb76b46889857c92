// Opening a channel's device, and opening it again after it went away.
//
// A device whose link is gone is treated as surprise-removed: requests and
// presence answer IFD_NO_SUCH_DEVICE (pcscd then marks the reader
// unavailable), and the device name is opened again at most once per
// CReopenPacing::kInterval, from pcscd's card-tracking thread. A device
// that comes back is added and started afresh in the old one's place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/Device.h"
#include "ifd/DeviceLink.h"
#include "ifd/PcscIfd.h"

namespace qvx::driver {

struct OpenedDevice {
  std::shared_ptr<CDevice> device;  // null on failure
  std::shared_ptr<CLinkState> link;
  RESPONSECODE failure = IFD_SUCCESS;
};

// Opens the lower edge for `deviceName`, then adds and starts a device on
// it, as Plug and Play would for a new device.
OpenedDevice OpenDevice(const std::string& deviceName, std::uint32_t readerIndex);

// The device of `lun` while it can serve a request; otherwise null with
// *missing IFD_COMMUNICATION_ERROR (no channel) or IFD_NO_SUCH_DEVICE (its
// device is gone).
std::shared_ptr<CDevice> ServingDevice(DWORD lun, RESPONSECODE* missing);

// For a channel whose device is gone: takes the old device out of service
// and, when an attempt is due, opens the device name again. True when the
// channel has a working device afterwards.
bool ReopenIfDue(DWORD lun);

}  // namespace qvx::driver
