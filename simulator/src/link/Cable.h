// What the device hangs on: a socket that stands in for the USB cable, or
// an emulated USB device. The simulator's loop polls it alongside the
// control socket and the firmware's timers.
#pragma once

#include <poll.h>

#include <optional>
#include <string>
#include <vector>

#include "device/DevicePackets.h"
#include "link/Pacer.h"

namespace qvx::sim {

// What happened on the cable in one round of the loop, in this order:
// packets from the driver, then its going away, then a new driver.
struct CableInput {
  std::vector<Packet> packets;
  bool disconnected = false;
  bool connected = false;
};

class Cable {
 public:
  virtual ~Cable() = default;

  // Where a driver finds the device, for logs and the screen.
  virtual std::string Where() const = 0;
  virtual bool Connected() const = 0;
  virtual bool Plugged() const = 0;
  // How many hosts hold the device open; a cable with one end has at most one.
  virtual int OpenClients() const { return Connected() ? 1 : 0; }

  // Appends the poll entries the cable needs now.
  virtual void Collect(std::vector<pollfd>& fds, SteadyTime now) = 0;
  // Serves the entries Collect appended, starting at `first`.
  virtual CableInput Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) = 0;

  virtual void Queue(const std::vector<Packet>& packets) = 0;
  // Sends as far as pacing allows; false when the driver went away.
  virtual bool Flush(SteadyTime now) = 0;
  virtual std::optional<SteadyTime> NextWake(SteadyTime now) const = 0;

  // The driver loses the device until Plug.
  virtual void Unplug() = 0;
  virtual void Plug() = 0;

  virtual std::vector<std::string> TakeEvents() = 0;

  // Where the packets' time went since the last ClearTiming, one line;
  // empty where the cable keeps no timing.
  virtual std::string Timing() const { return {}; }
  virtual void ClearTiming() {}
};

}  // namespace qvx::sim
