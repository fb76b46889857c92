// Lower edge over libusb: asynchronous interrupt (or bulk) transfers on the
// interface pcscd named, with one event thread. An unconfigured device gets
// its first configuration first. The device's interface and serial number
// strings go out with the descriptors: the reader's name is made of them.
//
// Offers: OpenUsbLowerEdge(deviceName) for pcscd's DEVICENAME (see
// UsbDeviceName.h).
#pragma once

#include <memory>
#include <string>

#include "transport/LowerEdge.h"
#include "transport/UsbDeviceName.h"

namespace qvx::driver {

// nullptr when no matching device can be opened, configured and claimed.
std::unique_ptr<ILowerEdge> OpenUsbLowerEdge(const std::string& deviceName);

}  // namespace qvx::driver
