// The choices the USB lower edge makes from a device's descriptors, kept
// apart from libusb so that they can be tested on plain data: the
// configuration to select, the interface to claim, the pipes to drive, and
// the text of a string descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvx::driver {

struct EndpointDescription {
  std::uint8_t address = 0;     // bit 7 set: IN
  std::uint8_t attributes = 0;  // bits 0-1: the transfer type
  std::uint16_t maxPacketSize = 0;
};

// Alternate setting 0 of one interface.
struct InterfaceDescription {
  std::uint8_t number = 0;       // bInterfaceNumber
  std::uint8_t stringIndex = 0;  // iInterface; 0: none
  std::vector<EndpointDescription> endpoints;
};

struct PipeChoice {
  EndpointDescription in;
  EndpointDescription out;
};

// The configuration to select before claiming: none (0) when the device is
// configured already (`active` non-zero); else the bConfigurationValue of
// its first configuration, or -1 when it has none.
int ConfigurationToSelect(int active, std::optional<std::uint8_t> firstConfigurationValue);

// The interface pcscd named (bInterfaceNumber `number`), or the first one
// when it named none (-1). Null when there is no such interface.
const InterfaceDescription* FindInterface(const std::vector<InterfaceDescription>& interfaces,
                                          int number);

// The first interrupt or bulk endpoint of each direction; other types
// (isochronous, control) are passed over. Empty when a direction is missing.
std::optional<PipeChoice> ChoosePipes(const InterfaceDescription& interface);

// The text of a string descriptor (bLength, bDescriptorType 3, UTF-16LE) in
// UTF-8, the way the kernel presents it in sysfs: it ends at a NUL, an
// unpaired surrogate is left out. Empty when the descriptor is malformed or
// its text is empty, as the kernel then has no attribute either.
std::optional<std::string> StringDescriptorText(const std::uint8_t* data, std::size_t length);

}  // namespace qvx::driver
