// What pcscd's DEVICENAME says about a USB device:
// "usb:VVVV/PPPP:libudev:N:/dev/bus/usb/BBB/DDD" (hotplug through libudev),
// "usb:VVVV/PPPP:libusb-1.0:B:D:N" (hotplug through libusb) or plain
// "usb:VVVV/PPPP" (reader.conf). N is the number of the interface pcscd
// found the reader on.
#pragma once

#include <cstdint>
#include <string>

namespace qvx::driver {

struct UsbDeviceAddress {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  int bus = -1;  // -1: not named, match by ids
  int address = -1;
  int interfaceNumber = -1;  // bInterfaceNumber; -1: not named, the first interface
};

// False when the name is not a "usb:VVVV/PPPP..." name.
bool ParseUsbDeviceName(const std::string& deviceName, UsbDeviceAddress& address);

}  // namespace qvx::driver
