#include "device/UnitBitmap.h"

namespace qvxrdr {

std::uint32_t CUnitBitmap::Allocate() {
  std::lock_guard<std::mutex> guard(lock_);
  for (std::uint32_t unit = 0; unit < kUnits; ++unit) {
    const auto bit = static_cast<std::uint8_t>(1u << unit);
    if ((bits_ & bit) == 0) {
      bits_ = static_cast<std::uint8_t>(bits_ | bit);
      return unit;
    }
  }
  return devicesAdded_;
}

void CUnitBitmap::DeviceAdded() {
  std::lock_guard<std::mutex> guard(lock_);
  ++devicesAdded_;
}

void CUnitBitmap::Release(std::uint32_t unit) {
  std::lock_guard<std::mutex> guard(lock_);
  if (unit < kUnits) {
    bits_ = static_cast<std::uint8_t>(bits_ & ~(1u << unit));
  }
}

void CUnitBitmap::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  bits_ = 0;
}

std::uint8_t CUnitBitmap::Bits() {
  std::lock_guard<std::mutex> guard(lock_);
  return bits_;
}

std::uint32_t CUnitBitmap::DeviceCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return devicesAdded_;
}

CUnitBitmap& DriverUnits() {
  static CUnitBitmap units;
  return units;
}

}  // namespace qvxrdr
