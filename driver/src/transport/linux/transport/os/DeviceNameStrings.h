// The strings a USB device names itself with, as the kernel presents them
// to pcscd's hotplug (Linux): UTF-8, absent when the device has none or an
// empty one. pcscd's reader names are made of them.
#pragma once

#include <optional>
#include <string>

namespace qvx::driver {

struct DeviceNameStrings {
  std::optional<std::string> interfaceName;  // iInterface of the claimed interface
  std::optional<std::string> serialNumber;   // iSerialNumber of the device
};

}  // namespace qvx::driver
