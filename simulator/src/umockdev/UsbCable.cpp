#include "umockdev/UsbCable.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace qvx::sim::usb {
namespace {

constexpr int kMaxPacketsPerWake = 64;

}  // namespace

UsbCable::UsbCable(const UsbOptions& options, bool paced, Trace& trace)
    : m_options(options),
      m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_inPacer(paced),
      m_outPacer(paced),
      m_trace(trace) {
  if (!m_wakeFd) throw std::system_error(errno, std::generic_category(), "eventfd");
  m_device = std::make_unique<EmulatedDevice>(m_options, m_pipes, [this] { Wake(); });
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
  for (int i = 0; i < kMaxPacketsPerWake && m_inPacer.Ready(now); ++i) {
    const std::optional<Packet> packet = m_pipes.TakeOut();
    if (!packet) break;
    m_trace.HostToDevice(*packet);
    m_inPacer.Passed(now);
    if (m_connected) input.packets.push_back(*packet);
  }
  m_device->Refresh();
  return input;
}

void UsbCable::Queue(const std::vector<Packet>& packets) {
  if (!m_connected) return;
  m_outbox.insert(m_outbox.end(), packets.begin(), packets.end());
}

bool UsbCable::Flush(SteadyTime now) {
  while (!m_outbox.empty() && m_outPacer.Ready(now) && m_pipes.GiveIn(m_outbox.front())) {
    m_trace.DeviceToHost(m_outbox.front());
    m_outPacer.Passed(now);
    m_outbox.pop_front();
  }
  m_device->Refresh();
  return true;
}

std::optional<SteadyTime> UsbCable::NextWake(SteadyTime now) const {
  std::optional<SteadyTime> wake;
  if (m_pipes.OutWaiting()) wake = m_inPacer.NextSlot(now).value_or(now);
  if (!m_outbox.empty() && m_pipes.InWaiting()) {
    const SteadyTime out = m_outPacer.NextSlot(now).value_or(now);
    if (!wake || out < *wake) wake = out;
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
