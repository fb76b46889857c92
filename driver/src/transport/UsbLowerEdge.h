// Lower edge over libusb: asynchronous bulk or interrupt transfers on
// interface 0 of the device, with one event thread.
//
// Offers: OpenUsbLowerEdge(deviceName) for pcscd's DEVICENAME
// ("usb:VVVV/PPPP:libudev:N:/dev/bus/usb/BBB/DDD",
// "usb:VVVV/PPPP:libusb-1.0:B:D:N" or plain "usb:VVVV/PPPP"), and
// ParseUsbDeviceName, which reads what such a name says.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "transport/LowerEdge.h"

namespace qvxrdr {

struct UsbDeviceAddress {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  int bus = -1;      // -1: not named, match by ids
  int address = -1;
};

// False when the name is not a "usb:VVVV/PPPP..." name.
bool ParseUsbDeviceName(const std::string& deviceName, UsbDeviceAddress& address);

// nullptr when no matching device can be opened and claimed.
std::unique_ptr<ILowerEdge> OpenUsbLowerEdge(const std::string& deviceName);

}  // namespace qvxrdr
