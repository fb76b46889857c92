// The cable when the device is an emulated USB device: the firmware's
// packets travel in the interrupt URBs of whoever claimed the interface.
// Claiming connects, releasing, closing or unplugging disconnects.
#pragma once

#include <memory>

#include "link/Cable.h"
#include "link/Trace.h"
#include "platform/posix/UniqueFd.h"
#include "umockdev/EmulatedDevice.h"
#include "usb/FramePacer.h"
#include "usb/UrbPipes.h"
#include "usb/UsbOptions.h"

namespace qvx::sim::usb {

using platform::UniqueFd;

class UsbCable final : public Cable {
 public:
  // Plugs the device in on `bus` (without one, on a testbed of its own);
  // throws std::runtime_error.
  UsbCable(const UsbOptions& options, bool paced, Trace& trace,
           std::shared_ptr<UsbBus> bus = nullptr);
  ~UsbCable() override;

  std::string Where() const override;
  bool Connected() const override { return m_connected; }
  bool Plugged() const override { return m_plugged; }
  int OpenClients() const override { return m_device->OpenClients(); }
  void Collect(std::vector<pollfd>& fds, SteadyTime now) override;
  CableInput Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) override;
  void Queue(const std::vector<Packet>& packets) override;
  bool Flush(SteadyTime now) override;
  std::optional<SteadyTime> NextWake(SteadyTime now) const override;
  void Unplug() override;
  void Plug() override;
  std::vector<std::string> TakeEvents() override;
  std::string Timing() const override { return m_pipes.TimingText(); }
  void ClearTiming() override { m_pipes.ClearTiming(); }

 private:
  struct Outgoing {
    Packet packet;
    SteadyTime queued;  // when the firmware had it ready
  };
  void Wake() const;
  // When the next packet may go into the oldest IN URB; empty while either is missing.
  std::optional<SteadyTime> NextInReady() const;

  UsbOptions m_options;
  UniqueFd m_wakeFd;
  UrbPipes m_pipes;
  std::unique_ptr<EmulatedDevice> m_device;
  bool m_connected = false;
  bool m_plugged = true;
  FramePacer m_outFrames;  // the host's OUT endpoint: packets to the firmware
  FramePacer m_inFrames;   // the IN endpoint: the firmware's packets to the host
  std::deque<Outgoing> m_outbox;
  Trace& m_trace;
  std::vector<std::string> m_events;
};

}  // namespace qvx::sim::usb
