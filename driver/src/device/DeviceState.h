// States of a device object: Plug and Play state and power states.
#pragma once

#include <cstdint>

namespace qvx::driver {

enum class DeviceState : std::uint8_t {
  NotStarted = 0,
  Started = 1,
  Removed = 2,
  SurpriseRemoved = 3,
};

// Numbered as the power manager numbers them; a lower device state is more
// powered.
enum class SystemPowerState : std::uint8_t {
  Unspecified = 0,
  S0 = 1,  // working
  S1 = 2,
  S2 = 3,
  S3 = 4,
  S4 = 5,  // hibernate
  S5 = 6,  // shutdown
};
constexpr std::uint8_t kSystemPowerStates = 7;

enum class DevicePowerState : std::uint8_t {
  Unspecified = 0,
  D0 = 1,
  D1 = 2,
  D2 = 3,
  D3 = 4,
};

// PNP_DEVICE_FAILED, the answer to a device-state query after the device
// broke the framing, is the system's (kernel/os/SystemStatus.h).

}  // namespace qvx::driver
