#include "transport/UsbDeviceName.h"

#include <cstdlib>
#include <vector>

namespace qvx::driver {

namespace {

bool ParseUnsigned(const std::string& text, int base, unsigned long max, unsigned long& value) {
  if (text.empty() || text.size() > 8) {
    return false;
  }
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, base);
  return end == text.c_str() + text.size() && value <= max;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) {
      return parts;
    }
    start = end + 1;
  }
}

int InterfaceNumber(const std::string& text) {
  unsigned long number = 0;
  return ParseUnsigned(text, 10, 255, number) ? static_cast<int>(number) : -1;
}

}  // namespace

bool ParseUsbDeviceName(const std::string& deviceName, UsbDeviceAddress& address) {
  address = UsbDeviceAddress{};
  const std::vector<std::string> parts = Split(deviceName, ':');
  if (parts.size() < 2 || parts[0] != "usb") {
    return false;
  }
  const std::vector<std::string> ids = Split(parts[1], '/');
  unsigned long vendor = 0;
  unsigned long product = 0;
  if (ids.size() != 2 || !ParseUnsigned(ids[0], 16, 0xFFFF, vendor) ||
      !ParseUnsigned(ids[1], 16, 0xFFFF, product)) {
    return false;
  }
  address.vendorId = static_cast<std::uint16_t>(vendor);
  address.productId = static_cast<std::uint16_t>(product);

  unsigned long bus = 0;
  unsigned long device = 0;
  if (parts.size() == 4 + 1 && parts[2] == "libudev") {
    // usb:VVVV/PPPP:libudev:N:/dev/bus/usb/BBB/DDD
    address.interfaceNumber = InterfaceNumber(parts[3]);
    const std::vector<std::string> path = Split(parts[4], '/');
    if (path.size() >= 2 && ParseUnsigned(path[path.size() - 2], 10, 255, bus) &&
        ParseUnsigned(path.back(), 10, 255, device)) {
      address.bus = static_cast<int>(bus);
      address.address = static_cast<int>(device);
    }
  } else if (parts.size() >= 5 && parts[2] == "libusb-1.0") {
    // usb:VVVV/PPPP:libusb-1.0:B:D:N
    if (ParseUnsigned(parts[3], 10, 255, bus) && ParseUnsigned(parts[4], 10, 255, device)) {
      address.bus = static_cast<int>(bus);
      address.address = static_cast<int>(device);
    }
    if (parts.size() >= 6) {
      address.interfaceNumber = InterfaceNumber(parts[5]);
    }
  }
  return true;
}

}  // namespace qvx::driver
