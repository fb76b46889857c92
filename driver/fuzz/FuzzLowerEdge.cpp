#include "FuzzLowerEdge.h"

#include <algorithm>
#include <utility>

namespace qvx::fuzz {

using namespace qvx::driver;

CFuzzLowerEdge::CFuzzLowerEdge(std::deque<Burst> bursts)
    : m_bursts(std::move(bursts)), m_thread([this] { Run(); }) {}

CFuzzLowerEdge::~CFuzzLowerEdge() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_stop = true;
    if (m_in) m_cancelIn = true;  // what is outstanding ends before the thread does
  }
  m_changed.notify_all();
  m_thread.join();
}

NTSTATUS CFuzzLowerEdge::ReadDescriptors(qvx::driver::UsbDescriptors& descriptors) {
  descriptors.vendorId = 0x1209;
  descriptors.productId = 0x0001;
  descriptors.endpoints = {{0x81, 8}, {0x02, 8}};
  return STATUS_SUCCESS;
}

NTSTATUS CFuzzLowerEdge::SubmitOut(const Packet&, OutCompletion completion) {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted) return STATUS_INVALID_DEVICE_STATE;
    m_outs.push_back(std::move(completion));
    ReleaseBurst();
  }
  m_changed.notify_all();
  return STATUS_SUCCESS;
}

NTSTATUS CFuzzLowerEdge::SubmitIn(InCompletion completion) {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted || m_gone || m_in) return STATUS_INVALID_DEVICE_STATE;
    m_in = std::move(completion);
  }
  m_changed.notify_all();
  return STATUS_SUCCESS;
}

void CFuzzLowerEdge::CancelIn() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_in) m_cancelIn = true;
  }
  m_changed.notify_all();
}

void CFuzzLowerEdge::AbortPipes() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_aborted = true;
    if (m_in) m_cancelIn = true;
  }
  m_changed.notify_all();
}

void CFuzzLowerEdge::ReleaseBurst() {
  if (m_bursts.empty()) return;
  m_released.insert(m_released.end(), m_bursts.front().begin(), m_bursts.front().end());
  m_bursts.pop_front();
}

void CFuzzLowerEdge::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    if (!m_outs.empty()) {
      OutCompletion out = std::move(m_outs.front());
      m_outs.pop_front();
      const NTSTATUS status = m_aborted ? STATUS_CANCELLED
                              : m_gone  ? STATUS_DEVICE_REMOVED
                                        : STATUS_SUCCESS;
      lock.unlock();
      out(status);
      lock.lock();
      continue;
    }
    if (m_in && (m_cancelIn || !m_released.empty() || m_gone)) {
      InCompletion in = std::move(m_in);
      m_in = nullptr;
      NTSTATUS status = STATUS_SUCCESS;
      Packet packet{};
      if (m_cancelIn) {
        status = STATUS_CANCELLED;
        m_cancelIn = false;
      } else if (!m_released.empty()) {
        packet = m_released.front();
        m_released.pop_front();
      } else {
        status = STATUS_DEVICE_REMOVED;
      }
      lock.unlock();
      in(status, packet);
      lock.lock();
      continue;
    }
    if (m_stop) return;
    if (m_in) {
      // The host waits without writing: after a quiet spell the device
      // sends its next burst, or goes away when it has nothing left.
      if (!m_changed.wait_for(lock, kQuiet,
                              [&] { return m_stop || !m_outs.empty() || m_cancelIn; })) {
        if (m_bursts.empty()) {
          m_gone = true;
        } else {
          ReleaseBurst();
        }
      }
      continue;
    }
    m_changed.wait(lock);
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

}  // namespace qvx::fuzz
