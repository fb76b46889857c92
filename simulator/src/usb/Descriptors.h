// The Quorvex2's USB descriptors: one configuration, one vendor-specific
// interface, an interrupt IN and an interrupt OUT endpoint of 8 bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/DevicePackets.h"

namespace qvx::sim::usb {

constexpr std::uint8_t kEndpointIn = 0x81;
constexpr std::uint8_t kEndpointOut = 0x02;
constexpr std::uint8_t kInterfaceNumber = 0;
constexpr std::uint8_t kConfigurationValue = 1;
constexpr std::uint16_t kLanguageEnUs = 0x0409;

namespace string_index {
constexpr std::uint8_t kManufacturer = 1;
constexpr std::uint8_t kProduct = 2;
constexpr std::uint8_t kSerial = 3;
constexpr std::uint8_t kInterface = 4;
}  // namespace string_index

struct Identity {
  std::uint16_t vendorId = 0x1209;  // the ids of driver/config/Info.plist
  std::uint16_t productId = 0x0001;
  std::uint16_t bcdDevice = 0x0120;
  std::string manufacturer = "Meridel";
  std::string product = "Quorvex2";
  std::string serial = "QVX2000001";  // empty: the device has no serial number string
  std::string interfaceName;          // empty: the interface has no string
};

Bytes DeviceDescriptor(const Identity& identity);
// The configuration with its interface and endpoint descriptors.
Bytes ConfigurationDescriptor(const Identity& identity);
// Index 0 is the language list; empty for an index the device does not have.
std::optional<Bytes> StringDescriptor(const Identity& identity, std::uint8_t index);

}  // namespace qvx::sim::usb
