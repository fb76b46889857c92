#include "umockdev/UsbCable.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace qvx::sim::usb {
namespace {

constexpr int kMaxPacketsPerWake = 64;

}  // namespace

UsbCable::UsbCable(const UsbOptions& options, bool paced, Trace& trace, std::shared_ptr<UsbBus> bus)
    : m_options(options),
      m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_outFrames(paced, std::chrono::steady_clock::now()),
      m_inFrames(paced, std::chrono::steady_clock::now()),
      m_trace(trace) {
  if (!m_wakeFd) throw std::system_error(errno, std::generic_category(), "eventfd");
  m_device = std::make_unique<EmulatedDevice>(
      m_options, m_pipes, [this] { Wake(); }, std::move(bus));
  m_device->Add();
  if (!m_options.testbedLink.empty()) {
    ::unlink(m_options.testbedLink.c_str());
    if (::symlink(m_device->RootDir().c_str(), m_options.testbedLink.c_str()) != 0)
      throw std::system_error(errno, std::generic_category(), "symlink " + m_options.testbedLink);
  }
}

UsbCable::~UsbCable() {
  if (!m_options.testbedLink.empty()) ::unlink(m_options.testbedLink.c_str());
  m_pipes.Unplug();
  m_device.reset();
}

void UsbCable::Wake() const {
  const std::uint64_t one = 1;
  // A full counter already wakes the loop.
  (void)!::write(m_wakeFd.Get(), &one, sizeof one);
}

std::string UsbCable::Where() const {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", m_options.identity.vendorId,
                m_options.identity.productId);
  return "usb " + std::string(ids) + " " + m_device->DevNode() + " in umockdev testbed " +
         m_device->RootDir();
}

void UsbCable::Collect(std::vector<pollfd>& fds, SteadyTime) {
  fds.push_back({m_wakeFd.Get(), POLLIN, 0});
}

CableInput UsbCable::Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) {
  if (fds[first].revents & POLLIN) {
    std::uint64_t count = 0;
    (void)!::read(m_wakeFd.Get(), &count, sizeof count);
  }
  CableInput input;
  const Changes changes = m_pipes.TakeChanges();
  if (changes.disconnected && m_connected) {
    m_connected = false;
    m_outbox.clear();
    input.disconnected = true;
  }
  if (!m_connected && m_pipes.Claimed()) {
    // A new driver: its packets wait for the next round, after the firmware saw it connect.
    m_connected = true;
    input.connected = true;
    return input;
  }
  for (int i = 0; i < kMaxPacketsPerWake; ++i) {
    const std::optional<SteadyTime> submitted = m_pipes.OldestOut();
    if (!submitted || m_outFrames.PassTime(*submitted) > now) break;
    const std::optional<Packet> packet = m_pipes.TakeOut(now);
    if (!packet) break;
    m_outFrames.Use(*submitted);
    m_trace.HostToDevice(*packet);
    if (m_connected) input.packets.push_back(*packet);
  }
  m_device->Refresh();
  return input;
}

void UsbCable::Queue(const std::vector<Packet>& packets) {
  if (!m_connected) return;
  const SteadyTime now = std::chrono::steady_clock::now();
  for (const Packet& packet : packets) m_outbox.push_back(Outgoing{packet, now});
}

std::optional<SteadyTime> UsbCable::NextInReady() const {
  if (m_outbox.empty()) return std::nullopt;
  const std::optional<SteadyTime> urb = m_pipes.OldestIn();
  if (!urb) return std::nullopt;
  return std::max(*urb, m_outbox.front().queued);
}

bool UsbCable::Flush(SteadyTime now) {
  for (std::optional<SteadyTime> ready = NextInReady(); ready && m_inFrames.PassTime(*ready) <= now;
       ready = NextInReady()) {
    if (!m_pipes.GiveIn(m_outbox.front().packet, m_outbox.front().queued, now)) break;
    m_inFrames.Use(*ready);
    m_trace.DeviceToHost(m_outbox.front().packet);
    m_outbox.pop_front();
  }
  m_device->Refresh();
  return true;
}

std::optional<SteadyTime> UsbCable::NextWake(SteadyTime now) const {
  std::optional<SteadyTime> wake;
  if (const std::optional<SteadyTime> submitted = m_pipes.OldestOut())
    wake = std::max(now, m_outFrames.PassTime(*submitted));
  if (const std::optional<SteadyTime> ready = NextInReady()) {
    const SteadyTime in = std::max(now, m_inFrames.PassTime(*ready));
    if (!wake || in < *wake) wake = in;
  }
  return wake;
}

void UsbCable::Unplug() {
  if (!m_plugged) return;
  m_pipes.Unplug();
  m_device->Remove();
  m_plugged = false;
  m_connected = false;
  m_outbox.clear();
  m_pipes.TakeChanges();
}

void UsbCable::Plug() {
  if (m_plugged) return;
  m_pipes.Plug();
  m_device->Add();
  m_plugged = true;
}

std::vector<std::string> UsbCable::TakeEvents() {
  std::vector<std::string> events = std::exchange(m_events, {});
  for (std::string& event : m_device->TakeEvents()) events.push_back(std::move(event));
  return events;
}

}  // namespace qvx::sim::usb
