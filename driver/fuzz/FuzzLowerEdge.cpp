#include "FuzzLowerEdge.h"

#include <algorithm>
#include <utility>

namespace qvxrdr_fuzz {

using qvxrdr::STATUS_CANCELLED;
using qvxrdr::STATUS_DEVICE_REMOVED;
using qvxrdr::STATUS_INVALID_DEVICE_STATE;
using qvxrdr::STATUS_SUCCESS;

CFuzzLowerEdge::CFuzzLowerEdge(std::deque<Burst> bursts)
    : bursts_(std::move(bursts)), thread_([this] { Run(); }) {}

CFuzzLowerEdge::~CFuzzLowerEdge() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = true;
    if (in_) cancelIn_ = true;  // what is outstanding ends before the thread does
  }
  changed_.notify_all();
  thread_.join();
}

NTSTATUS CFuzzLowerEdge::ReadDescriptors(qvxrdr::UsbDescriptors& descriptors) {
  descriptors.vendorId = 0x1209;
  descriptors.productId = 0x0001;
  descriptors.endpoints = {{0x81, 8}, {0x02, 8}};
  return STATUS_SUCCESS;
}

NTSTATUS CFuzzLowerEdge::SubmitOut(const Packet&, OutCompletion completion) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (aborted_) return STATUS_INVALID_DEVICE_STATE;
    outs_.push_back(std::move(completion));
    ReleaseBurst();
  }
  changed_.notify_all();
  return STATUS_SUCCESS;
}

NTSTATUS CFuzzLowerEdge::SubmitIn(InCompletion completion) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (aborted_ || gone_ || in_) return STATUS_INVALID_DEVICE_STATE;
    in_ = std::move(completion);
  }
  changed_.notify_all();
  return STATUS_SUCCESS;
}

void CFuzzLowerEdge::CancelIn() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (in_) cancelIn_ = true;
  }
  changed_.notify_all();
}

void CFuzzLowerEdge::AbortPipes() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    aborted_ = true;
    if (in_) cancelIn_ = true;
  }
  changed_.notify_all();
}

void CFuzzLowerEdge::ReleaseBurst() {
  if (bursts_.empty()) return;
  released_.insert(released_.end(), bursts_.front().begin(), bursts_.front().end());
  bursts_.pop_front();
}

void CFuzzLowerEdge::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (!outs_.empty()) {
      OutCompletion out = std::move(outs_.front());
      outs_.pop_front();
      const NTSTATUS status = aborted_ ? STATUS_CANCELLED : gone_ ? STATUS_DEVICE_REMOVED
                                                                  : STATUS_SUCCESS;
      lock.unlock();
      out(status);
      lock.lock();
      continue;
    }
    if (in_ && (cancelIn_ || !released_.empty() || gone_)) {
      InCompletion in = std::move(in_);
      in_ = nullptr;
      NTSTATUS status = STATUS_SUCCESS;
      Packet packet{};
      if (cancelIn_) {
        status = STATUS_CANCELLED;
        cancelIn_ = false;
      } else if (!released_.empty()) {
        packet = released_.front();
        released_.pop_front();
      } else {
        status = STATUS_DEVICE_REMOVED;
      }
      lock.unlock();
      in(status, packet);
      lock.lock();
      continue;
    }
    if (stop_) return;
    if (in_) {
      // The host waits without writing: after a quiet spell the device
      // sends its next burst, or goes away when it has nothing left.
      if (!changed_.wait_for(lock, kQuiet, [&] { return stop_ || !outs_.empty() || cancelIn_; })) {
        if (bursts_.empty()) {
          gone_ = true;
        } else {
          ReleaseBurst();
        }
      }
      continue;
    }
    changed_.wait(lock);
  }
}

std::deque<CFuzzLowerEdge::Burst> BurstsFrom(const std::uint8_t* data, std::size_t size) {
  std::deque<CFuzzLowerEdge::Burst> bursts;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t count = data[at++] % 4;
    CFuzzLowerEdge::Burst burst;
    for (std::size_t i = 0; i < count && at < size; ++i) {
      Packet packet{};
      const std::size_t take = std::min(packet.size(), size - at);
      std::copy(data + at, data + at + take, packet.begin());
      at += take;
      burst.push_back(packet);
    }
    bursts.push_back(std::move(burst));
  }
  return bursts;
}

}  // namespace qvxrdr_fuzz
