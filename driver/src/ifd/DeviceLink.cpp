#include "ifd/DeviceLink.h"

#include <utility>

namespace qvxrdr {

namespace {

class CWatchedLowerEdge final : public ILowerEdge {
 public:
  CWatchedLowerEdge(std::unique_ptr<ILowerEdge> lower, std::shared_ptr<CLinkState> state)
      : lower_(std::move(lower)), state_(std::move(state)) {}

  NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) override {
    return Noted(lower_->ReadDescriptors(descriptors));
  }
  NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) override {
    return Noted(lower_->SubmitOut(packet, [state = state_, completion = std::move(completion)](
                                                NTSTATUS status) {
      if (status == STATUS_DEVICE_REMOVED) state->MarkGone();
      completion(status);
    }));
  }
  NTSTATUS SubmitIn(InCompletion completion) override {
    return Noted(lower_->SubmitIn([state = state_, completion = std::move(completion)](
                                      NTSTATUS status, const Packet& packet) {
      if (status == STATUS_DEVICE_REMOVED) state->MarkGone();
      completion(status, packet);
    }));
  }
  void CancelIn() override { lower_->CancelIn(); }
  void AbortPipes() override { lower_->AbortPipes(); }

 private:
  NTSTATUS Noted(NTSTATUS status) {
    if (status == STATUS_DEVICE_REMOVED) state_->MarkGone();
    return status;
  }

  std::unique_ptr<ILowerEdge> lower_;
  std::shared_ptr<CLinkState> state_;
};

}  // namespace

std::unique_ptr<ILowerEdge> WatchLowerEdge(std::unique_ptr<ILowerEdge> lower,
                                           std::shared_ptr<CLinkState> state) {
  if (!lower) return nullptr;
  return std::make_unique<CWatchedLowerEdge>(std::move(lower), std::move(state));
}

bool CReopenPacing::Claim() {
  std::lock_guard<std::mutex> guard(mutex_);
  const Clock::time_point now = Clock::now();
  if (last_ != Clock::time_point{} && now - last_ < kInterval) return false;
  last_ = now;
  return true;
}

bool CReopenPacing::WaitUntilDue(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  const Clock::time_point due = last_ == Clock::time_point{} ? Clock::now() : last_ + kInterval;
  const Clock::time_point until = std::min(due, Clock::now() + limit);
  changed_.wait_until(lock, until, [&] { return interrupted_; });
  const bool interrupted = std::exchange(interrupted_, false);
  return !interrupted && Clock::now() >= due;
}

void CReopenPacing::Interrupt() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    interrupted_ = true;
  }
  changed_.notify_all();
}

}  // namespace qvxrdr
