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
    : options_(options),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      inPacer_(paced),
      outPacer_(paced),
      trace_(trace) {
  if (!wakeFd_) throw std::system_error(errno, std::generic_category(), "eventfd");
  device_ = std::make_unique<EmulatedDevice>(options_, pipes_, [this] { Wake(); });
  device_->Add();
  if (!options_.testbedLink.empty()) {
    ::unlink(options_.testbedLink.c_str());
    if (::symlink(device_->RootDir().c_str(), options_.testbedLink.c_str()) != 0)
      throw std::system_error(errno, std::generic_category(), "symlink " + options_.testbedLink);
  }
}

UsbCable::~UsbCable() {
  if (!options_.testbedLink.empty()) ::unlink(options_.testbedLink.c_str());
  pipes_.Unplug();
  device_.reset();
}

void UsbCable::Wake() const {
  const std::uint64_t one = 1;
  // A full counter already wakes the loop.
  (void)!::write(wakeFd_.Get(), &one, sizeof one);
}

std::string UsbCable::Where() const {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", options_.identity.vendorId, options_.identity.productId);
  return "usb " + std::string(ids) + " " + device_->DevNode() + " in umockdev testbed " + device_->RootDir();
}

void UsbCable::Collect(std::vector<pollfd>& fds, SteadyTime) { fds.push_back({wakeFd_.Get(), POLLIN, 0}); }

CableInput UsbCable::Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) {
  if (fds[first].revents & POLLIN) {
    std::uint64_t count = 0;
    (void)!::read(wakeFd_.Get(), &count, sizeof count);
  }
  CableInput input;
  const Changes changes = pipes_.TakeChanges();
  if (changes.disconnected && connected_) {
    connected_ = false;
    outbox_.clear();
    input.disconnected = true;
  }
  if (!connected_ && pipes_.Claimed()) {
    // A new driver: its packets wait for the next round, after the firmware saw it connect.
    connected_ = true;
    input.connected = true;
    return input;
  }
  for (int i = 0; i < kMaxPacketsPerWake && inPacer_.Ready(now); ++i) {
    const std::optional<Packet> packet = pipes_.TakeOut();
    if (!packet) break;
    trace_.HostToDevice(*packet);
    inPacer_.Passed(now);
    if (connected_) input.packets.push_back(*packet);
  }
  device_->Refresh();
  return input;
}

void UsbCable::Queue(const std::vector<Packet>& packets) {
  if (!connected_) return;
  outbox_.insert(outbox_.end(), packets.begin(), packets.end());
}

bool UsbCable::Flush(SteadyTime now) {
  while (!outbox_.empty() && outPacer_.Ready(now) && pipes_.GiveIn(outbox_.front())) {
    trace_.DeviceToHost(outbox_.front());
    outPacer_.Passed(now);
    outbox_.pop_front();
  }
  device_->Refresh();
  return true;
}

std::optional<SteadyTime> UsbCable::NextWake(SteadyTime now) const {
  std::optional<SteadyTime> wake;
  if (pipes_.OutWaiting()) wake = inPacer_.NextSlot(now).value_or(now);
  if (!outbox_.empty() && pipes_.InWaiting()) {
    const SteadyTime out = outPacer_.NextSlot(now).value_or(now);
    if (!wake || out < *wake) wake = out;
  }
  return wake;
}

void UsbCable::Unplug() {
  if (!plugged_) return;
  pipes_.Unplug();
  device_->Remove();
  plugged_ = false;
  connected_ = false;
  outbox_.clear();
  pipes_.TakeChanges();
}

void UsbCable::Plug() {
  if (plugged_) return;
  pipes_.Plug();
  device_->Add();
  plugged_ = true;
}

std::vector<std::string> UsbCable::TakeEvents() {
  std::vector<std::string> events = std::exchange(events_, {});
  for (std::string& event : device_->TakeEvents()) events.push_back(std::move(event));
  return events;
}

}  // namespace qvx::sim::usb
