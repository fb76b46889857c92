// The device on its sockets: one event loop over the cable, the control
// socket and the firmware's timers. Idle, it sleeps in poll.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/ControlCommand.h"
#include "device/Firmware.h"
#include "link/ControlServer.h"
#include "link/Cable.h"
#include "link/Presenter.h"
#include "link/Trace.h"

namespace qvx::sim {

struct SimulatorOptions {
  std::string socketPath;
  std::string controlPath;  // empty: no control socket
  bool paced = false;
  FirmwareConfig firmware;
  std::size_t traceCapacity = 256;
};

// Makes the cable the device hangs on; the trace records its packets.
using CableFactory = std::function<std::unique_ptr<Cable>(Trace& trace)>;

class Simulator {
 public:
  // Creates the sockets; throws std::system_error when it cannot.
  Simulator(SimulatorOptions options, Presenter* presenter);
  // The same device on another cable (options.socketPath is not used).
  Simulator(SimulatorOptions options, const CableFactory& cable, Presenter* presenter);

  // Serves until `stopFd` becomes readable.
  void Run(int stopFd);

  // One control line in, one reply line out ("OK ..." or "ERR reason").
  std::string Control(const std::string& line);

 private:
  std::string Apply(const ControlCommand& command, SteadyTime now);
  std::string StateText() const;
  DeviceTime DeviceClock(SteadyTime now) const;
  SteadyTime HostTime(DeviceTime device) const;
  void ServeCable(const CableInput& input, SteadyTime now);
  // Moves the firmware's packets onto the cable and everyone's events to the presenter.
  void Pump(SteadyTime now);
  void Report(const std::string& event);
  Screen CurrentScreen() const;

  SteadyTime m_start;
  Trace m_trace;
  Firmware m_firmware;
  std::unique_ptr<Cable> m_cable;
  std::optional<ControlServer> m_control;
  Presenter* m_presenter;
};

}  // namespace qvx::sim
