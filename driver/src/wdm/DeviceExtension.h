// What the driver keeps per device object: the links of the device stack,
// the reader interface and the unit.
#pragma once

#include <cstdint>

#include "device/Device.h"
#include "kernel/Owned.h"
#include "kernel/RemoveLock.h"
#include "kernel/os/Wdm.h"
#include "wdm/Smartcard.h"

namespace qvx::driver::wdm {

// Made in place in the device object's extension (AddDevice), destroyed
// before the device object is deleted.
struct DeviceExtension {
  PDEVICE_OBJECT self = nullptr;
  PDEVICE_OBJECT lower = nullptr;     // what attaching returned
  PDEVICE_OBJECT physical = nullptr;  // the bus driver's device object
  UNICODE_STRING interfaceName = {};  // of the registered reader interface
  std::uint32_t unit = 0;
  bool started = false;
  bool surpriseRemoved = false;
  bool removed = false;
  RemoveLock removeLock;
  SMARTCARD_EXTENSION smartcard = {};
  // The shared core over the URB lower edge: transport, reader, lifecycle.
  KOwned<CDevice> device;
  ULONG dataRates[3] = {};  // what smartcard.ReaderCapabilities lists
};

inline DeviceExtension& Extension(PDEVICE_OBJECT device) {
  return *static_cast<DeviceExtension*>(device->DeviceExtension);
}

}  // namespace qvx::driver::wdm
