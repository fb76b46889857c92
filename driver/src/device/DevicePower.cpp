#include "device/Device.h"

namespace qvxrdr {

namespace {

constexpr char kTagPower[] = "Pow";

}  // namespace

NTSTATUS CDevice::SetSystemPower(SystemPowerState state) {
  RemoveLockHold hold(removeLock_, kTagPower);
  if (!hold.Held()) {
    return hold.Status();
  }
  DevicePowerState target;
  {
    std::lock_guard<std::mutex> guard(powerLock_);
    systemPower_ = state;
    target = MapSystemState(capabilities_, state);
  }
  return SetDevicePower(target);
}

NTSTATUS CDevice::SetDevicePower(DevicePowerState state) {
  RemoveLockHold hold(removeLock_, kTagPower);
  if (!hold.Held()) {
    return hold.Status();
  }
  if (state < DevicePower()) {
    return PowerUp(state);
  }
  return PowerDown(state);
}

NTSTATUS CDevice::PowerUp(DevicePowerState state) {
  transport_->ClearFlags();
  // Waiting for the device's answer is fine here: this runs on the
  // caller's thread, never inside a completion.
  transport_->CardStatusQuery();
  std::lock_guard<std::mutex> guard(powerLock_);
  devicePower_ = state;
  return STATUS_SUCCESS;
}

NTSTATUS CDevice::PowerDown(DevicePowerState state) {
  transport_->StopReadPump();
  // Nobody may keep waiting for a card status that cannot come now.
  transport_->CardStatusEvent().Set();
  std::lock_guard<std::mutex> guard(powerLock_);
  devicePower_ = state;
  return STATUS_SUCCESS;
}

DevicePowerState CDevice::DevicePower() {
  std::lock_guard<std::mutex> guard(powerLock_);
  return devicePower_;
}

SystemPowerState CDevice::SystemPower() {
  std::lock_guard<std::mutex> guard(powerLock_);
  return systemPower_;
}

}  // namespace qvxrdr
