#include "device/UnitBitmap.h"

namespace qvx::driver {

std::uint32_t CUnitBitmap::Allocate() {
  std::lock_guard<std::mutex> guard(m_lock);
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
  std::lock_guard<std::mutex> guard(m_lock);
  ++m_devicesAdded;
}

void CUnitBitmap::Release(std::uint32_t unit) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (unit < kUnits) {
    m_bits = static_cast<std::uint8_t>(m_bits & ~(1u << unit));
  }
}

void CUnitBitmap::Clear() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_bits = 0;
}

std::uint8_t CUnitBitmap::Bits() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_bits;
}

std::uint32_t CUnitBitmap::DeviceCount() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_devicesAdded;
}

CUnitBitmap& DriverUnits() {
  static CUnitBitmap units;
  return units;
}

}  // namespace qvx::driver
