// The device capabilities a capabilities query carries, and the copy the
// device keeps to map system power states to device power states.
#pragma once

#include <array>
#include <cstdint>

#include "device/DeviceState.h"
#include "kernel/NtStatus.h"

namespace qvx::driver {

struct DeviceCapabilities {
  std::uint16_t size = kMinimumSize;
  std::uint16_t version = 1;
  bool surpriseRemovalOk = false;
  // Indexed by SystemPowerState.
  std::array<DevicePowerState, kSystemPowerStates> deviceState{};

  static constexpr std::uint16_t kMinimumSize = 64;
};

// Refuses a structure of version 0 or smaller than 64 bytes.
NTSTATUS CheckCapabilities(const DeviceCapabilities& caps);

// The device keeps this copy: S0 maps to D0, S1 to S5 to D3.
DeviceCapabilities KeptCapabilities(const DeviceCapabilities& caps);

// The device state a system state maps to under `caps`.
DevicePowerState MapSystemState(const DeviceCapabilities& caps, SystemPowerState state);

}  // namespace qvx::driver
