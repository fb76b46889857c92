// The cable when the device is an emulated USB device: the firmware's
// packets travel in the interrupt URBs of whoever claimed the interface.
// Claiming connects, releasing, closing or unplugging disconnects.
#pragma once

#include <memory>

#include "host/Cable.h"
#include "host/Trace.h"
#include "host/UniqueFd.h"
#include "umockdev/EmulatedDevice.h"
#include "usb/UrbPipes.h"
#include "usb/UsbOptions.h"

namespace qvx::sim::usb {

class UsbCable final : public Cable {
 public:
  // Builds the testbed and plugs the device in; throws std::runtime_error.
  UsbCable(const UsbOptions& options, bool paced, Trace& trace);
  ~UsbCable() override;

  std::string Where() const override;
  bool Connected() const override { return connected_; }
  bool Plugged() const override { return plugged_; }
  void Collect(std::vector<pollfd>& fds, SteadyTime now) override;
  CableInput Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) override;
  void Queue(const std::vector<Packet>& packets) override;
  bool Flush(SteadyTime now) override;
  std::optional<SteadyTime> NextWake(SteadyTime now) const override;
  void Unplug() override;
  void Plug() override;
  std::vector<std::string> TakeEvents() override;

 private:
  void Wake() const;

  UsbOptions options_;
  UniqueFd wakeFd_;
  UrbPipes pipes_;
  std::unique_ptr<EmulatedDevice> device_;
  bool connected_ = false;
  bool plugged_ = true;
  Pacer inPacer_;
  Pacer outPacer_;
  std::deque<Packet> outbox_;
  Trace& trace_;
  std::vector<std::string> events_;
};

}  // namespace qvx::sim::usb
