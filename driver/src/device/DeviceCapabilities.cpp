#include "device/DeviceCapabilities.h"

namespace qvx::driver {

NTSTATUS CheckCapabilities(const DeviceCapabilities& caps) {
  if (caps.version == 0 || caps.size < DeviceCapabilities::kMinimumSize) {
    return STATUS_UNSUCCESSFUL;
  }
  return STATUS_SUCCESS;
}

DeviceCapabilities KeptCapabilities(const DeviceCapabilities& caps) {
  DeviceCapabilities kept = caps;
  kept.deviceState[static_cast<std::size_t>(SystemPowerState::S0)] = DevicePowerState::D0;
  for (auto s : {SystemPowerState::S1, SystemPowerState::S2, SystemPowerState::S3,
                 SystemPowerState::S4, SystemPowerState::S5}) {
    // Nothing in between: the device keeps no state worth a light sleep.
    kept.deviceState[static_cast<std::size_t>(s)] = DevicePowerState::D3;
  }
  return kept;
}

DevicePowerState MapSystemState(const DeviceCapabilities& caps, SystemPowerState state) {
  const auto index = static_cast<std::size_t>(state);
  return index < caps.deviceState.size() ? caps.deviceState[index] : DevicePowerState::D3;
}

}  // namespace qvx::driver
