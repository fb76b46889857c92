#include "usb/Descriptors.h"

namespace qvx::sim::usb {
namespace {

constexpr std::uint8_t kTypeDevice = 1;
constexpr std::uint8_t kTypeConfiguration = 2;
constexpr std::uint8_t kTypeString = 3;
constexpr std::uint8_t kTypeInterface = 4;
constexpr std::uint8_t kTypeEndpoint = 5;
constexpr std::uint8_t kAttributesInterrupt = 0x03;
constexpr std::uint8_t kClassVendor = 0xFF;

void Put16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutEndpoint(Bytes& out, std::uint8_t address) {
  out.insert(out.end(), {7, kTypeEndpoint, address, kAttributesInterrupt});
  Put16(out, static_cast<std::uint16_t>(kPacketSize));
  out.push_back(1);  // polled every frame
}

std::uint8_t IndexOr0(const std::string& text, std::uint8_t index) {
  return text.empty() ? 0 : index;
}

}  // namespace

Bytes DeviceDescriptor(const Identity& identity) {
  Bytes out{18, kTypeDevice};
  Put16(out, 0x0200);                    // USB 2.0
  out.insert(out.end(), {0, 0, 0, 64});  // class in the interface; EP0 of 64 bytes
  Put16(out, identity.vendorId);
  Put16(out, identity.productId);
  Put16(out, identity.bcdDevice);
  out.push_back(IndexOr0(identity.manufacturer, string_index::kManufacturer));
  out.push_back(IndexOr0(identity.product, string_index::kProduct));
  out.push_back(IndexOr0(identity.serial, string_index::kSerial));
  out.push_back(1);  // configurations
  return out;
}

Bytes ConfigurationDescriptor(const Identity& identity) {
  Bytes out{9, kTypeConfiguration, 0, 0, 1, kConfigurationValue, 0, 0x80,
            50};  // bus powered, 100 mA
  out.insert(out.end(), {9, kTypeInterface, kInterfaceNumber, 0, 2, kClassVendor, 0, 0,
                         IndexOr0(identity.interfaceName, string_index::kInterface)});
  PutEndpoint(out, kEndpointIn);
  PutEndpoint(out, kEndpointOut);
  out[2] = static_cast<std::uint8_t>(out.size());
  return out;
}

std::optional<Bytes> StringDescriptor(const Identity& identity, std::uint8_t index) {
  if (index == 0) {
    Bytes out{4, kTypeString};
    Put16(out, kLanguageEnUs);
    return out;
  }
  const std::string* text = nullptr;
  switch (index) {
    case string_index::kManufacturer:
      text = &identity.manufacturer;
      break;
    case string_index::kProduct:
      text = &identity.product;
      break;
    case string_index::kSerial:
      text = &identity.serial;
      break;
    case string_index::kInterface:
      text = &identity.interfaceName;
      break;
    default:
      return std::nullopt;
  }
  if (text->empty()) return std::nullopt;
  Bytes out{0, kTypeString};
  for (const char c : *text) Put16(out, static_cast<std::uint8_t>(c));  // ASCII as UTF-16LE
  out[0] = static_cast<std::uint8_t>(out.size());
  return out;
}

}  // namespace qvx::sim::usb
