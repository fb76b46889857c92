#include "device/UnitBitmap.h"

namespace qvx::driver {

std::uint32_t CUnitBitmap::Allocate() {
  SpinLockGuard guard(m_lock);
  for (std::uint32_t unit = 0; unit < kUnits; ++unit) {
    const auto bit = static_cast<std::uint8_t>(1u << unit);
    if ((m_bits & bit) == 0) {
      m_bits = static_cast<std::uint8_t>(m_bits | bit);
      return unit;
    }
  }
  return m_devicesAdded;
}

void CUnitBitmap::DeviceAdded() {
  SpinLockGuard guard(m_lock);
  ++m_devicesAdded;
}

void CUnitBitmap::Release(std::uint32_t unit) {
  SpinLockGuard guard(m_lock);
  if (unit < kUnits) {
    m_bits = static_cast<std::uint8_t>(m_bits & ~(1u << unit));
  }
}

void CUnitBitmap::Clear() {
  SpinLockGuard guard(m_lock);
  m_bits = 0;
}

std::uint8_t CUnitBitmap::Bits() {
  SpinLockGuard guard(m_lock);
  return m_bits;
}

std::uint32_t CUnitBitmap::DeviceCount() {
  SpinLockGuard guard(m_lock);
  return m_devicesAdded;
}

namespace {

// Constant-initialised: no constructor has to run before the driver's
// entry (the kernel build runs none).
CUnitBitmap g_units;

}  // namespace

CUnitBitmap& DriverUnits() { return g_units; }

}  // namespace qvx::driver
