// The reader context of one device with its smart-card extension: the
// reader functions (card power, protocol, transmit, card tracking) and the
// vendor requests, one at a time, plus the cancel watcher beside them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/Bytes.h"
#include "kernel/Mutex.h"
#include "kernel/NtStatus.h"
#include "reader/ApduTable.h"
#include "reader/Atr.h"
#include "reader/CancelWatcher.h"
#include "reader/CardPower.h"
#include "reader/CardState.h"
#include "reader/DeviceCommands.h"
#include "reader/LastErrorRecord.h"
#include "reader/ReaderAttributes.h"
#include "reader/VendorRequests.h"
#include "transport/Transport.h"

namespace qvx::driver {

// Told when the device broke the framing: it is to be reported failed.
class IDeviceFailure {
 public:
  virtual void OnDeviceFailed() = 0;

 protected:
  ~IDeviceFailure() = default;
};

class CSmartcardReader final : private IVendorHooks {
 public:
  // `cancelEventName` is the reader's cancel event as KNamedEvent takes it.
  CSmartcardReader(CTransport& transport, CCardState& card, std::uint32_t unit,
                   const char* cancelEventName, IDeviceFailure& failure);
  ~CSmartcardReader();
  CSmartcardReader(const CSmartcardReader&) = delete;
  CSmartcardReader& operator=(const CSmartcardReader&) = delete;

  const SmartcardExtension& Extension() const { return m_extension; }
  CCardState& Card() { return m_card; }

  NTSTATUS CardPower(PowerAction action, AtrBytes* atr);
  NTSTATUS SetProtocol(std::uint32_t requested, std::uint32_t* selected);
  NTSTATUS Transmit(const std::uint8_t* apdu, std::size_t size, Answer* reply);
  NTSTATUS VendorRequest(std::uint32_t code, ByteView input, VendorReply* reply);
  LastErrorRecord LastError() { return m_vendor.Record(); }

  bool CancelWatcherRunning() { return m_watcher.Running(); }
  const char* CancelEventName() const { return m_watcher.EventName(); }
  void StopCancelWatcher() { m_watcher.Stop(); }

 private:
  class Operation;

  void StartCancelWatcher() override { m_watcher.Start(); }
  void DeviceFailed() override { m_failure.OnDeviceFailed(); }

  CTransport& m_transport;
  IDeviceFailure& m_failure;
  SmartcardExtension m_extension;
  CCardState& m_card;
  CDeviceCommands m_commands;
  CCardPower m_power;
  CVendorRequests m_vendor;
  CCancelWatcher m_watcher;
  // The smart-card library hands a device one call at a time.
  KMutex m_serial;
};

}  // namespace qvx::driver
