// The device context of one attached Quorvex2: its lifecycle (start, stop,
// removal, surprise removal, capabilities, device state), its power states,
// and the gate every request passes (started, remove lock, pending-I/O
// count) on its way to the reader.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceCapabilities.h"
#include "device/DeviceState.h"
#include "device/UnitBitmap.h"
#include "kernel/NtStatus.h"
#include "kernel/PendingIo.h"
#include "kernel/RemoveLock.h"
#include "reader/CardPower.h"
#include "reader/CardState.h"
#include "reader/Reader.h"
#include "transport/LowerEdge.h"
#include "transport/Transport.h"

namespace qvx::driver {

class CDevice {
 public:
  struct Options {
    CUnitBitmap* units = &DriverUnits();
    std::uint32_t writeRoundMs = CTransport::kWriteRoundMs;
  };

  // Adding a device: a unit number, the transport over `lower`, the reader
  // context named from `readerIndex` and the strings `lower` reports. Not
  // started yet. Null when `lower` is null.
  static std::unique_ptr<CDevice> Add(std::unique_ptr<ILowerEdge> lower, std::uint32_t readerIndex,
                                      Options options);
  static std::unique_ptr<CDevice> Add(std::unique_ptr<ILowerEdge> lower,
                                      std::uint32_t readerIndex) {
    return Add(std::move(lower), readerIndex, Options{});
  }
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
  const std::string& ReaderName() const { return m_readerName; }
  bool DeviceFailed() const { return m_deviceFailed.load(); }
  DevicePowerState DevicePower();
  SystemPowerState SystemPower();
  DeviceCapabilities Capabilities();
  CReader& Reader() { return *m_reader; }
  CCardState& Card() { return m_card; }
  PendingIoCount& PendingIo() { return m_pendingIo; }

 private:
  // Only Add() builds devices.
  struct Key {
    explicit Key() = default;
  };

 public:
  CDevice(Key, std::unique_ptr<ILowerEdge> lower, std::uint32_t unit, std::uint32_t readerIndex,
          std::string readerName, const Options& options);

 private:
  // The gate of every request: served only while started, inside the
  // remove lock and the pending-I/O count.
  template <class Body>
  NTSTATUS Serve(Body body);
  template <class Body>
  NTSTATUS ServePnp(Body body);
  NTSTATUS PowerUp(DevicePowerState state);
  NTSTATUS PowerDown(DevicePowerState state);
  void OnDeviceFailed();

  const std::uint32_t m_unit;
  const std::uint32_t m_readerIndex;
  const std::string m_readerName;
  CUnitBitmap& m_units;

  std::atomic<DeviceState> m_state{DeviceState::NotStarted};
  std::atomic<bool> m_deviceFailed{false};
  PendingIoCount m_pendingIo;
  RemoveLock m_removeLock;

  std::mutex m_powerLock;
  DeviceCapabilities m_capabilities;
  DevicePowerState m_devicePower = DevicePowerState::D0;
  SystemPowerState m_systemPower = SystemPowerState::S0;

  // Built in this order, torn down in reverse: the card state outlives the
  // transport that reports to it, the transport outlives the reader.
  CCardState m_card;
  std::unique_ptr<CTransport> m_transport;
  std::unique_ptr<CReader> m_reader;
};

}  // namespace qvx::driver
