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
    auto record = std::make_unique<Watched<OutCompletion>>(m_state, std::move(completion));
    const NTSTATUS status = m_lower->SubmitOut(packet, OutCompletion(&OutDone, record.get()));
    if (NT_SUCCESS(status)) {
      record.release();  // the completion frees it
    }
    return Noted(status);
  }
  NTSTATUS SubmitIn(InCompletion completion) override {
    auto record = std::make_unique<Watched<InCompletion>>(m_state, std::move(completion));
    const NTSTATUS status = m_lower->SubmitIn(InCompletion(&InDone, record.get()));
    if (NT_SUCCESS(status)) {
      record.release();  // the completion frees it
    }
    return Noted(status);
  }
  void CancelIn() override { m_lower->CancelIn(); }
  void AbortPipes() override { m_lower->AbortPipes(); }

 private:
  // One submitted transfer: the caller's completion and whom to tell.
  template <class Completion>
  struct Watched {
    Watched(std::shared_ptr<CLinkState> linkState, Completion inner)
        : state(std::move(linkState)), completion(std::move(inner)) {}
    std::shared_ptr<CLinkState> state;
    Completion completion;
  };

  static void OutDone(void* context, NTSTATUS status) {
    std::unique_ptr<Watched<OutCompletion>> record(static_cast<Watched<OutCompletion>*>(context));
    if (status == STATUS_DEVICE_REMOVED) record->state->MarkGone();
    record->completion(status);
  }
  static void InDone(void* context, NTSTATUS status, const Packet& packet) {
    std::unique_ptr<Watched<InCompletion>> record(static_cast<Watched<InCompletion>*>(context));
    if (status == STATUS_DEVICE_REMOVED) record->state->MarkGone();
    record->completion(status, packet);
  }

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
