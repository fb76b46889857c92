// The standard requests on endpoint 0 that a host sends the Quorvex2:
// descriptors, configuration, interface, status and halt.
#pragma once

#include <cstdint>

#include "device/DevicePackets.h"
#include "usb/Descriptors.h"

namespace qvx::sim::usb {

struct Setup {
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint16_t length = 0;
};

// The 8 setup bytes at the start of a control transfer's buffer.
Setup ParseSetup(const std::uint8_t* bytes);

struct DeviceState {
  std::uint8_t configuration = kConfigurationValue;  // 0: unconfigured
  bool inHalted = false;
  bool outHalted = false;
};

struct ControlAnswer {
  bool stall = false;
  Bytes data;  // IN requests: at most setup.length bytes
};

ControlAnswer AnswerStandard(const Setup& setup, const Identity& identity, DeviceState& state);

}  // namespace qvx::sim::usb
