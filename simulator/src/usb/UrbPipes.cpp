#include "usb/UrbPipes.h"

#include <algorithm>
#include <cerrno>

#include "usb/Descriptors.h"

namespace qvx::sim::usb {

void UrbPipes::Opened(Owner owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!unplugged_) open_.insert(owner);
}

int UrbPipes::Claim(Owner owner, unsigned interface) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (GoneLocked(owner)) return ENODEV;
  if (interface != kInterfaceNumber) return ENOENT;
  if (claimedBy_ && *claimedBy_ != owner) return EBUSY;
  if (!claimedBy_) changes_.connected = true;
  claimedBy_ = owner;
  return 0;
}

int UrbPipes::Release(Owner owner, unsigned interface) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (GoneLocked(owner)) return ENODEV;
  if (interface != kInterfaceNumber || claimedBy_ != owner) return EINVAL;
  ReleaseClaim();
  return 0;
}

int UrbPipes::CheckClaim(Owner owner) {
  if (GoneLocked(owner)) return ENODEV;
  // usbdevfs claims an unclaimed interface for the first URB sent to it.
  if (!claimedBy_) {
    claimedBy_ = owner;
    changes_.connected = true;
  }
  return *claimedBy_ == owner ? 0 : EBUSY;
}

void UrbPipes::ReleaseClaim() {
  if (!claimedBy_) return;
  const Owner owner = *claimedBy_;
  // The kernel kills the URBs of a released interface.
  for (auto* queue : {&in_, &out_}) {
    for (auto it = queue->begin(); it != queue->end();) {
      if (it->owner == owner) {
        Done(owner, Completion{it->urb, -ENOENT, 0, std::nullopt});
        it = queue->erase(it);
      } else {
        ++it;
      }
    }
  }
  claimedBy_.reset();
  changes_.disconnected = true;
}

int UrbPipes::SubmitInterrupt(Owner owner, UrbAddress urb, std::uint8_t endpoint, int length, const Packet* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (const int error = CheckClaim(owner)) return error;
  if (endpoint == kEndpointIn) {
    if (length <= 0) return EINVAL;
    in_.push_back(Pending{owner, urb, {}});
  } else if (endpoint == kEndpointOut) {
    if (out == nullptr) return EINVAL;
    out_.push_back(Pending{owner, urb, *out});
  } else {
    return ENOENT;
  }
  return 0;
}

int UrbPipes::SubmitDone(Owner owner, const Completion& done) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (GoneLocked(owner)) return ENODEV;
  Done(owner, done);
  return 0;
}

int UrbPipes::Discard(Owner owner, UrbAddress urb) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (GoneLocked(owner)) return ENODEV;
  for (auto* queue : {&in_, &out_}) {
    const auto it = std::find_if(queue->begin(), queue->end(),
                                 [&](const Pending& p) { return p.owner == owner && p.urb == urb; });
    if (it != queue->end()) {
      queue->erase(it);
      Done(owner, Completion{urb, -ENOENT, 0, std::nullopt});
      return 0;
    }
  }
  return EINVAL;  // already done (the caller reaps it) or never submitted
}

int UrbPipes::Reap(Owner owner, Completion& done) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = done_.find(owner);
  if (it == done_.end() || it->second.empty()) return GoneLocked(owner) ? ENODEV : EAGAIN;
  done = it->second.front();
  it->second.pop_front();
  return 0;
}

void UrbPipes::Vanished(Owner owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (claimedBy_ == owner) ReleaseClaim();
  done_.erase(owner);
  open_.erase(owner);
  stale_.erase(owner);
}

bool UrbPipes::Gone(Owner owner) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return GoneLocked(owner);
}

bool UrbPipes::OutWaiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !out_.empty();
}

std::optional<Packet> UrbPipes::TakeOut() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (out_.empty()) return std::nullopt;
  const Pending pending = out_.front();
  out_.pop_front();
  Done(pending.owner, Completion{pending.urb, 0, static_cast<int>(kPacketSize), std::nullopt});
  return pending.out;
}

bool UrbPipes::InWaiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !in_.empty();
}

bool UrbPipes::GiveIn(const Packet& packet) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (in_.empty()) return false;
  const Pending pending = in_.front();
  in_.pop_front();
  Done(pending.owner, Completion{pending.urb, 0, static_cast<int>(kPacketSize), packet});
  return true;
}

bool UrbPipes::Claimed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return claimedBy_.has_value();
}

bool UrbPipes::AnyDone() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(done_.begin(), done_.end(), [this](const auto& entry) {
    return !entry.second.empty() && stale_.count(entry.first) == 0;
  });
}

Changes UrbPipes::TakeChanges() {
  std::lock_guard<std::mutex> lock(mutex_);
  const Changes changes = changes_;
  changes_ = Changes{};
  return changes;
}

void UrbPipes::Unplug() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto* queue : {&in_, &out_}) {
    for (const Pending& pending : *queue) Done(pending.owner, Completion{pending.urb, -ENODEV, 0, std::nullopt});
    queue->clear();
  }
  if (claimedBy_) {
    claimedBy_.reset();
    changes_.disconnected = true;
  }
  stale_.insert(open_.begin(), open_.end());
  open_.clear();
  unplugged_ = true;
}

void UrbPipes::Plug() {
  std::lock_guard<std::mutex> lock(mutex_);
  unplugged_ = false;
}

}  // namespace qvx::sim::usb
