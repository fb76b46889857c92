#include "link/Simulator.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "link/Link.h"

namespace qvx::sim {

Simulator::Simulator(SimulatorOptions options, Presenter* presenter)
    : Simulator(
          options,
          [&options](Trace& trace) {
            return std::make_unique<Link>(options.socketPath, options.paced, trace);
          },
          presenter) {}

Simulator::Simulator(SimulatorOptions options, const CableFactory& cable, Presenter* presenter)
    : m_start(std::chrono::steady_clock::now()),
      m_trace(options.traceCapacity),
      m_firmware(std::move(options.firmware)),
      m_cable(cable(m_trace)),
      m_presenter(presenter) {
  if (!options.controlPath.empty()) m_control.emplace(options.controlPath);
  Report("listening on " + m_cable->Where() + (options.paced ? " (paced)" : "") +
         (m_control ? ", control on " + m_control->Path() : ""));
}

DeviceTime Simulator::DeviceClock(SteadyTime now) const {
  return std::chrono::duration_cast<DeviceTime>(now - m_start);
}

SteadyTime Simulator::HostTime(DeviceTime device) const { return m_start + device; }

void Simulator::Run(int stopFd) {
  bool stopping = false;
  while (!stopping) {
    SteadyTime now = std::chrono::steady_clock::now();
    m_firmware.Advance(DeviceClock(now));
    Pump(now);

    std::vector<pollfd> fds{{stopFd, POLLIN, 0}};
    m_cable->Collect(fds, now);
    const std::size_t controlFirst = fds.size();
    if (m_control) m_control->Collect(fds);

    std::optional<SteadyTime> wake = m_cable->NextWake(now);
    if (const auto deadline = m_firmware.NextDeadline()) {
      const SteadyTime due = HostTime(*deadline);
      if (!wake || due < *wake) wake = due;
    }
    timespec timeout{};
    timespec* timeoutArg = nullptr;
    if (wake) {
      const auto left = std::max(std::chrono::nanoseconds{0}, *wake - now);
      timeout.tv_sec = static_cast<time_t>(left.count() / 1000000000);
      timeout.tv_nsec = static_cast<long>(left.count() % 1000000000);
      timeoutArg = &timeout;
    }
    if (::ppoll(fds.data(), fds.size(), timeoutArg, nullptr) < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "ppoll");
    }

    now = std::chrono::steady_clock::now();
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) stopping = true;
    ServeCable(m_cable->Serve(fds, 1, now), now);
    if (m_control)
      m_control->Serve(fds, controlFirst,
                       [this](const std::string& line) { return Control(line); });
    Pump(now);
  }
  Report("stopping");
}

void Simulator::ServeCable(const CableInput& input, SteadyTime now) {
  for (const Packet& packet : input.packets) m_firmware.Receive(packet, DeviceClock(now));
  if (input.disconnected) m_firmware.Disconnect(DeviceClock(now));
  if (input.connected) m_firmware.Connect(DeviceClock(now));
}

void Simulator::Pump(SteadyTime now) {
  m_cable->Queue(m_firmware.TakeOutgoing());
  if (!m_cable->Flush(now)) m_firmware.Disconnect(DeviceClock(now));
  for (const std::string& event : m_cable->TakeEvents()) Report(event);
  for (const std::string& event : m_firmware.TakeEvents()) Report(event);
  if (m_presenter) m_presenter->Show(CurrentScreen());
}

void Simulator::Report(const std::string& event) {
  if (m_presenter) m_presenter->Event(event);
}

Screen Simulator::CurrentScreen() const {
  Screen screen;
  screen.display = m_firmware.display().Lines();
  screen.version = m_firmware.Version();
  screen.socketPath = m_cable->Where();
  screen.connected = m_cable->Connected();
  screen.plugged = m_cable->Plugged();
  screen.cardInserted = m_firmware.CardInserted();
  screen.cardPowered = m_firmware.CardPowered();
  screen.busy = m_firmware.Busy();
  screen.waiting = m_firmware.WaitingForCustomer();
  screen.pinDigits = m_firmware.PinDigits();
  screen.customer = Describe(m_firmware.Customer());
  return screen;
}

}  // namespace qvx::sim
