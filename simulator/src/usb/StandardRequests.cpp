#include "usb/StandardRequests.h"

#include <algorithm>

namespace qvx::sim::usb {
namespace {

constexpr std::uint8_t kGetStatus = 0x00;
constexpr std::uint8_t kClearFeature = 0x01;
constexpr std::uint8_t kSetFeature = 0x03;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kGetConfiguration = 0x08;
constexpr std::uint8_t kSetConfiguration = 0x09;
constexpr std::uint8_t kGetInterface = 0x0A;
constexpr std::uint8_t kSetInterface = 0x0B;
constexpr std::uint16_t kEndpointHalt = 0;

constexpr std::uint8_t kRecipientMask = 0x1F;
constexpr std::uint8_t kToDevice = 0;
constexpr std::uint8_t kToEndpoint = 2;

ControlAnswer Stall() { return ControlAnswer{true, {}}; }

ControlAnswer Data(Bytes data, std::uint16_t length) {
  if (data.size() > length) data.resize(length);
  return ControlAnswer{false, std::move(data)};
}

bool* Halt(DeviceState& state, std::uint16_t endpoint) {
  if (endpoint == kEndpointIn) return &state.inHalted;
  if (endpoint == kEndpointOut) return &state.outHalted;
  return nullptr;
}

ControlAnswer Descriptor(const Setup& setup, const Identity& identity) {
  const auto type = static_cast<std::uint8_t>(setup.value >> 8);
  const auto index = static_cast<std::uint8_t>(setup.value & 0xFF);
  switch (type) {
    case 1:
      return Data(DeviceDescriptor(identity), setup.length);
    case 2:
      return index == 0 ? Data(ConfigurationDescriptor(identity), setup.length) : Stall();
    case 3: {
      auto text = StringDescriptor(identity, index);
      return text ? Data(std::move(*text), setup.length) : Stall();
    }
    default:
      return Stall();  // no qualifier, BOS or other descriptors: a full-speed USB 2.0 device
  }
}

}  // namespace

Setup ParseSetup(const std::uint8_t* bytes) {
  auto word = [bytes](int at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
  };
  return Setup{bytes[0], bytes[1], word(2), word(4), word(6)};
}

ControlAnswer AnswerStandard(const Setup& setup, const Identity& identity, DeviceState& state) {
  if ((setup.requestType & 0x60) != 0) return Stall();  // class and vendor requests: none
  const std::uint8_t recipient = setup.requestType & kRecipientMask;
  const bool configured = state.configuration != 0;
  switch (setup.request) {
    case kGetDescriptor:
      return recipient == kToDevice ? Descriptor(setup, identity) : Stall();
    case kGetConfiguration:
      return Data({state.configuration}, setup.length);
    case kSetConfiguration:
      if (setup.value != 0 && setup.value != kConfigurationValue) return Stall();
      state = DeviceState{};
      state.configuration = static_cast<std::uint8_t>(setup.value);
      return {};
    case kGetInterface:
      return configured && setup.index == kInterfaceNumber ? Data({0}, setup.length) : Stall();
    case kSetInterface:
      return configured && setup.index == kInterfaceNumber && setup.value == 0 ? ControlAnswer{}
                                                                               : Stall();
    case kGetStatus:
      if (recipient == kToEndpoint) {
        const bool* halted = Halt(state, setup.index);
        if (halted == nullptr || !configured) return Stall();
        return Data({static_cast<std::uint8_t>(*halted ? 1 : 0), 0}, setup.length);
      }
      return Data({0, 0}, setup.length);  // bus powered, no remote wake-up
    case kClearFeature:
    case kSetFeature: {
      bool* halted = recipient == kToEndpoint ? Halt(state, setup.index) : nullptr;
      if (halted == nullptr || setup.value != kEndpointHalt || !configured) return Stall();
      *halted = setup.request == kSetFeature;
      return {};
    }
    default:
      return Stall();
  }
}

}  // namespace qvx::sim::usb
