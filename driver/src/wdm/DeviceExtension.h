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

class CUrbLowerEdge;

// Ends the pending card-tracking request when what it waits for holds.
class CTrackingListener final : public ICardTrackingListener {
 public:
  explicit CTrackingListener(SMARTCARD_EXTENSION& card) : m_card(card) {}
  void OnTrackingCompleted(CardState state) override;

 private:
  SMARTCARD_EXTENSION& m_card;
};

// Raises the informational hard error and has Plug and Play query the
// device state, which then answers PNP_DEVICE_FAILED.
class CFailureReport final : public IDeviceFailure {
 public:
  explicit CFailureReport(PDEVICE_OBJECT& physical) : m_physical(physical) {}
  void OnDeviceFailed() override;

 private:
  PDEVICE_OBJECT& m_physical;
};

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
  // Set at start: power requests then go down with IoCallDriver.
  bool vistaOrLater = false;
  RemoveLock removeLock;
  SMARTCARD_EXTENSION smartcard = {};
  CTrackingListener tracking{smartcard};
  CFailureReport failureReport{physical};
  // The shared core over the URB lower edge: transport, reader, lifecycle.
  KOwned<CDevice> device;
  CUrbLowerEdge* urb = nullptr;  // the core's lower edge, for stop
  ULONG dataRates[3] = {};       // what smartcard.ReaderCapabilities lists
};

inline DeviceExtension& Extension(PDEVICE_OBJECT device) {
  return *static_cast<DeviceExtension*>(device->DeviceExtension);
}

}  // namespace qvx::driver::wdm
