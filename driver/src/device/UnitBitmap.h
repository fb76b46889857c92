// Unit numbers of the driver's devices: bit n of an 8-bit map is set while
// unit n is in use; beyond eight devices the count of devices added so far
// serves as the unit number.
#pragma once

#include <cstdint>

#include "kernel/Mutex.h"

namespace qvx::driver {

class CUnitBitmap {
 public:
  static constexpr std::uint32_t kUnits = 8;

  // Constant: the driver-wide map needs no constructor to run.
  constexpr CUnitBitmap() = default;

  // The lowest free unit, now taken; the device count when all are taken.
  std::uint32_t Allocate();
  // An added device counts from now on (only ever incremented).
  void DeviceAdded();
  void Release(std::uint32_t unit);
  void Clear();

  std::uint8_t Bits();
  std::uint32_t DeviceCount();

 private:
  SpinLock m_lock;
  std::uint8_t m_bits = 0;
  std::uint32_t m_devicesAdded = 0;
};

// The driver-wide map (cleared by each system's driver entry).
CUnitBitmap& DriverUnits();

}  // namespace qvx::driver
