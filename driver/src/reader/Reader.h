// The reader context of one device with its smart-card extension: the
// reader functions (card power, protocol, transmit, card tracking) and the
// vendor requests, one at a time, plus the cancel watcher beside them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/NtStatus.h"
#include "reader/CancelWatcher.h"
#include "reader/CardPower.h"
#include "reader/CardState.h"
#include "reader/DeviceCommands.h"
#include "reader/LastErrorRecord.h"
#include "reader/ReaderAttributes.h"
#include "reader/VendorRequests.h"
#include "transport/Transport.h"

namespace qvx::driver {

class CReader {
 public:
  // `readerName` is the name the resource manager lists the reader by; it
  // names the cancel event.
  CReader(CTransport& transport, CCardState& card, std::uint32_t unit,
          const std::string& readerName, std::function<void()> deviceFailed);
  ~CReader();
  CReader(const CReader&) = delete;
  CReader& operator=(const CReader&) = delete;

  const SmartcardExtension& Extension() const { return m_extension; }
  CCardState& Card() { return m_card; }

  NTSTATUS CardPower(PowerAction action, std::vector<std::uint8_t>* atr);
  NTSTATUS SetProtocol(std::uint32_t requested, std::uint32_t* selected);
  NTSTATUS Transmit(const std::uint8_t* apdu, std::size_t size, std::vector<std::uint8_t>* reply);
  NTSTATUS VendorRequest(std::uint32_t code, const std::vector<std::uint8_t>& input,
                         std::vector<std::uint8_t>* reply);
  LastErrorRecord LastError() { return m_vendor.Record(); }

  bool CancelWatcherRunning() { return m_watcher.Running(); }
  const std::string& CancelEventName() const { return m_watcher.EventName(); }
  void StopCancelWatcher() { m_watcher.Stop(); }

 private:
  class Operation;

  CTransport& m_transport;
  SmartcardExtension m_extension;
  CCardState& m_card;
  CDeviceCommands m_commands;
  CCardPower m_power;
  CVendorRequests m_vendor;
  CCancelWatcher m_watcher;
  // The smart-card library hands a device one call at a time.
  std::mutex m_serial;
};

}  // namespace qvx::driver
