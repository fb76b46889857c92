// The device context of one attached Quorvex2: its lifecycle (start, stop,
// removal, surprise removal, capabilities, device state), its power states,
// and the gate every request passes (started, remove lock, pending-I/O
// count) on its way to the reader.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "device/DeviceCapabilities.h"
#include "device/DeviceState.h"
#include "device/UnitBitmap.h"
#include "kernel/Mutex.h"
#include "kernel/NtStatus.h"
#include "kernel/Owned.h"
#include "kernel/PendingIo.h"
#include "kernel/RemoveLock.h"
#include "reader/CardPower.h"
#include "reader/CardState.h"
#include "reader/SmartcardReader.h"
#include "transport/LowerEdge.h"
#include "transport/Transport.h"

namespace qvx::driver {

class CDevice final : private IDeviceFailure {
 public:
  struct Options {
    CUnitBitmap* units = &DriverUnits();
    std::uint32_t writeRoundMs = CTransport::kWriteRoundMs;
    // Told after the device-failed flag is set, where the system wants to
    // hear of it (the WDM driver asks Plug and Play to query the state).
    IDeviceFailure* failureReport = nullptr;
  };

  // Longer names are cut.
  static constexpr std::size_t kMaxReaderName = 256;

  // A device with its unit number taken from options.units (which it gives
  // back at removal), the transport over `lower` (not empty) and the reader
  // context. `readerName` is the name the resource manager lists it by,
  // `cancelEventName` the reader's cancel event as KNamedEvent takes it.
  // Not started yet. Each system's AddDevice makes one: device/ChannelDevice.h
  // on Linux, the WDM driver's in the device extension.
  CDevice(KOwned<ILowerEdge> lower, std::uint32_t unit, std::uint32_t readerIndex,
          const char* readerName, const char* cancelEventName, const Options& options);
  // Removes the device first if nobody did.
  ~CDevice();
  CDevice(const CDevice&) = delete;
  CDevice& operator=(const CDevice&) = delete;

  // Plug and Play.
  NTSTATUS Start();
  // Both wait until no other request runs.
  NTSTATUS QueryStop();
  NTSTATUS QueryRemove();
  NTSTATUS Stop();
  // Ends the cancel watcher, aborts the pipes (unless already surprise
  // removed), then waits for running requests. Later requests fail.
  NTSTATUS Remove();
  NTSTATUS SurpriseRemoval();
  NTSTATUS QueryCapabilities(DeviceCapabilities& caps);
  NTSTATUS QueryPnpDeviceState(std::uint32_t* state);

  // Power.
  NTSTATUS SetSystemPower(SystemPowerState state);
  // Records the new system state and says which device state it maps to;
  // never waits (a power completion calls it).
  DevicePowerState RecordSystemPower(SystemPowerState state);
  NTSTATUS SetDevicePower(DevicePowerState state);

  // Device control: the vendor codes. The reply goes to out[0..capacity);
  // *returned is 0 on every failure.
  NTSTATUS DeviceControl(std::uint32_t code, const std::uint8_t* in, std::size_t inLength,
                         std::uint8_t* out, std::size_t capacity, std::size_t* returned);
  // Smart-card functions, through the same gate.
  NTSTATUS CardPower(PowerAction action, std::uint8_t* atr, std::size_t capacity,
                     std::size_t* returned);
  NTSTATUS SetProtocol(std::uint32_t requested, std::uint32_t* selected);
  NTSTATUS Transmit(const std::uint8_t* apdu, std::size_t size, std::uint8_t* out,
                    std::size_t capacity, std::size_t* returned);
  NTSTATUS GetCardState(CardState* state);
  // Card tracking: returns on card insertion or removal, at the timeout
  // (STATUS_TIMEOUT), once the device is removed, or once interrupted.
  NTSTATUS TrackCard(std::uint32_t timeoutMs);
  // Ends the present tracking wait (or the next one) once.
  void InterruptCardTracking();

  DeviceState State() const { return m_state.load(); }
  std::uint32_t Unit() const { return m_unit; }
  std::uint32_t ReaderIndex() const { return m_readerIndex; }
  // As the resource manager lists it.
  const char* ReaderName() const { return m_readerName; }
  bool DeviceFailed() const { return m_deviceFailed.load(); }
  DevicePowerState DevicePower();
  SystemPowerState SystemPower();
  DeviceCapabilities Capabilities();
  CSmartcardReader& Reader() { return m_reader; }
  CCardState& Card() { return m_card; }
  PendingIoCount& PendingIo() { return m_pendingIo; }

 private:
  // The gate of every request: served only while started, inside the
  // remove lock and the pending-I/O count.
  template <class Body>
  NTSTATUS Serve(Body body);
  template <class Body>
  NTSTATUS ServePnp(Body body);
  // The same, with the body given the hold (removal ends it early).
  template <class Body>
  NTSTATUS ServePnpHolding(Body body);
  NTSTATUS PowerUp(DevicePowerState state);
  NTSTATUS PowerDown(DevicePowerState state);
  void OnDeviceFailed() override;

  const std::uint32_t m_unit;
  const std::uint32_t m_readerIndex;
  char m_readerName[kMaxReaderName] = {};
  CUnitBitmap& m_units;
  IDeviceFailure* const m_failureReport;

  std::atomic<DeviceState> m_state{DeviceState::NotStarted};
  std::atomic<bool> m_deviceFailed{false};
  PendingIoCount m_pendingIo;
  RemoveLock m_removeLock;

  SpinLock m_powerLock;
  DeviceCapabilities m_capabilities;
  DevicePowerState m_devicePower = DevicePowerState::D0;
  SystemPowerState m_systemPower = SystemPowerState::S0;

  // Built in this order, torn down in reverse: the card state outlives the
  // transport that reports to it, the transport outlives the reader.
  CCardState m_card;
  CTransport m_transport;
  CSmartcardReader m_reader;
};

}  // namespace qvx::driver
