#include "ifd/DeviceLink.h"

#include <utility>

namespace qvx::driver {

namespace {

class CWatchedLowerEdge final : public ILowerEdge {
 public:
  CWatchedLowerEdge(std::unique_ptr<ILowerEdge> lower, std::shared_ptr<CLinkState> state)
      : m_lower(std::move(lower)), m_state(std::move(state)) {}

  NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) override {
    return Noted(m_lower->ReadDescriptors(descriptors));
  }
  NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) override {
    return Noted(m_lower->SubmitOut(
        packet, [state = m_state, completion = std::move(completion)](NTSTATUS status) {
          if (status == STATUS_DEVICE_REMOVED) state->MarkGone();
          completion(status);
        }));
  }
  NTSTATUS SubmitIn(InCompletion completion) override {
    return Noted(m_lower->SubmitIn([state = m_state, completion = std::move(completion)](
                                       NTSTATUS status, const Packet& packet) {
      if (status == STATUS_DEVICE_REMOVED) state->MarkGone();
      completion(status, packet);
    }));
  }
  void CancelIn() override { m_lower->CancelIn(); }
  void AbortPipes() override { m_lower->AbortPipes(); }

 private:
  NTSTATUS Noted(NTSTATUS status) {
    if (status == STATUS_DEVICE_REMOVED) m_state->MarkGone();
    return status;
  }

  std::unique_ptr<ILowerEdge> m_lower;
  std::shared_ptr<CLinkState> m_state;
};

}  // namespace

std::unique_ptr<ILowerEdge> WatchLowerEdge(std::unique_ptr<ILowerEdge> lower,
                                           std::shared_ptr<CLinkState> state) {
  if (!lower) return nullptr;
  return std::make_unique<CWatchedLowerEdge>(std::move(lower), std::move(state));
}

bool CReopenPacing::Claim() {
  std::lock_guard<std::mutex> guard(m_mutex);
  const Clock::time_point now = Clock::now();
  if (m_last != Clock::time_point{} && now - m_last < kInterval) return false;
  m_last = now;
  return true;
}

bool CReopenPacing::WaitUntilDue(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const Clock::time_point due = m_last == Clock::time_point{} ? Clock::now() : m_last + kInterval;
  const Clock::time_point until = std::min(due, Clock::now() + limit);
  m_changed.wait_until(lock, until, [&] { return m_interrupted; });
  const bool interrupted = std::exchange(m_interrupted, false);
  return !interrupted && Clock::now() >= due;
}

void CReopenPacing::Interrupt() {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_interrupted = true;
  }
  m_changed.notify_all();
}

}  // namespace qvx::driver
