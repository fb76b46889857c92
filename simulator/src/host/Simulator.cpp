#include "host/Simulator.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "host/Link.h"

namespace qvx::sim {

Simulator::Simulator(SimulatorOptions options, Presenter* presenter)
    : Simulator(
          options,
          [&options](Trace& trace) { return std::make_unique<Link>(options.socketPath, options.paced, trace); },
          presenter) {}

Simulator::Simulator(SimulatorOptions options, const CableFactory& cable, Presenter* presenter)
    : start_(std::chrono::steady_clock::now()),
      trace_(options.traceCapacity),
      firmware_(std::move(options.firmware)),
      cable_(cable(trace_)),
      presenter_(presenter) {
  if (!options.controlPath.empty()) control_.emplace(options.controlPath);
  Report("listening on " + cable_->Where() + (options.paced ? " (paced)" : "") +
         (control_ ? ", control on " + control_->Path() : ""));
}

DeviceTime Simulator::DeviceClock(SteadyTime now) const {
  return std::chrono::duration_cast<DeviceTime>(now - start_);
}

SteadyTime Simulator::HostTime(DeviceTime device) const { return start_ + device; }

void Simulator::Run(int stopFd) {
  bool stopping = false;
  while (!stopping) {
    SteadyTime now = std::chrono::steady_clock::now();
    firmware_.Advance(DeviceClock(now));
    Pump(now);

    std::vector<pollfd> fds{{stopFd, POLLIN, 0}};
    cable_->Collect(fds, now);
    const std::size_t controlFirst = fds.size();
    if (control_) control_->Collect(fds);

    std::optional<SteadyTime> wake = cable_->NextWake(now);
    if (const auto deadline = firmware_.NextDeadline()) {
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
    ServeCable(cable_->Serve(fds, 1, now), now);
    if (control_) control_->Serve(fds, controlFirst, [this](const std::string& line) { return Control(line); });
    Pump(now);
  }
  Report("stopping");
}

void Simulator::ServeCable(const CableInput& input, SteadyTime now) {
  for (const Packet& packet : input.packets) firmware_.Receive(packet, DeviceClock(now));
  if (input.disconnected) firmware_.Disconnect(DeviceClock(now));
  if (input.connected) firmware_.Connect(DeviceClock(now));
}

void Simulator::Pump(SteadyTime now) {
  cable_->Queue(firmware_.TakeOutgoing());
  if (!cable_->Flush(now)) firmware_.Disconnect(DeviceClock(now));
  for (const std::string& event : cable_->TakeEvents()) Report(event);
  for (const std::string& event : firmware_.TakeEvents()) Report(event);
  if (presenter_) presenter_->Show(CurrentScreen());
}

void Simulator::Report(const std::string& event) {
  if (presenter_) presenter_->Event(event);
}

Screen Simulator::CurrentScreen() const {
  Screen screen;
  screen.display = firmware_.display().Lines();
  screen.version = firmware_.Version();
  screen.socketPath = cable_->Where();
  screen.connected = cable_->Connected();
  screen.plugged = cable_->Plugged();
  screen.cardInserted = firmware_.CardInserted();
  screen.cardPowered = firmware_.CardPowered();
  screen.busy = firmware_.Busy();
  screen.waiting = firmware_.WaitingForCustomer();
  screen.pinDigits = firmware_.PinDigits();
  screen.customer = Describe(firmware_.Customer());
  return screen;
}

}  // namespace qvx::sim
