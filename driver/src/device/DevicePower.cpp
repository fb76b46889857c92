#include "device/Device.h"

namespace qvx::driver {

namespace {

constexpr char kTagPower[] = "Pow";

}  // namespace

NTSTATUS CDevice::SetSystemPower(SystemPowerState state) {
  RemoveLockHold hold(m_removeLock, kTagPower);
  if (!hold.Held()) {
    return hold.Status();
  }
  return SetDevicePower(RecordSystemPower(state));
}

DevicePowerState CDevice::RecordSystemPower(SystemPowerState state) {
  SpinLockGuard guard(m_powerLock);
  m_systemPower = state;
  return MapSystemState(m_capabilities, state);
}

NTSTATUS CDevice::SetDevicePower(DevicePowerState state) {
  RemoveLockHold hold(m_removeLock, kTagPower);
  if (!hold.Held()) {
    return hold.Status();
  }
  if (state < DevicePower()) {
    return PowerUp(state);
  }
  return PowerDown(state);
}

NTSTATUS CDevice::PowerUp(DevicePowerState state) {
  m_transport.ClearFlags();
  // Waiting for the device's answer is fine here: this runs on the
  // caller's thread, never inside a completion.
  m_transport.CardStatusQuery();
  SpinLockGuard guard(m_powerLock);
  m_devicePower = state;
  return STATUS_SUCCESS;
}

NTSTATUS CDevice::PowerDown(DevicePowerState state) {
  m_transport.StopReadPump();
  // Nobody may keep waiting for a card status that cannot come now.
  m_transport.CardStatusEvent().Set();
  SpinLockGuard guard(m_powerLock);
  m_devicePower = state;
  return STATUS_SUCCESS;
}

DevicePowerState CDevice::DevicePower() {
  SpinLockGuard guard(m_powerLock);
  return m_devicePower;
}

SystemPowerState CDevice::SystemPower() {
  SpinLockGuard guard(m_powerLock);
  return m_systemPower;
}

}  // namespace qvx::driver
