// Unit numbers of the driver's devices: bit n of an 8-bit map is set while
// unit n is in use; beyond eight devices the count of devices added so far
// serves as the unit number.
#pragma once

#include <cstdint>
#include <mutex>

namespace qvxrdr {

class CUnitBitmap {
 public:
  static constexpr std::uint32_t kUnits = 8;

  // The lowest free unit, now taken; the device count when all are taken.
  std::uint32_t Allocate();
  // An added device counts from now on (only ever incremented).
  void DeviceAdded();
  void Release(std::uint32_t unit);
  void Clear();

  std::uint8_t Bits();
  std::uint32_t DeviceCount();

 private:
  std::mutex lock_;
  std::uint8_t bits_ = 0;
  std::uint32_t devicesAdded_ = 0;
};

// The driver-wide map.
CUnitBitmap& DriverUnits();

}  // namespace qvxrdr
