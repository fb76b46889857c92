#include "usb/UrbPipes.h"

#include <algorithm>
#include <cerrno>

#include "usb/Descriptors.h"

namespace qvx::sim::usb {

void UrbPipes::Opened(Owner owner) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_unplugged) m_open.insert(owner);
}

int UrbPipes::Claim(Owner owner, unsigned interface) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (GoneLocked(owner)) return ENODEV;
  if (interface != kInterfaceNumber) return ENOENT;
  if (m_claimedBy && *m_claimedBy != owner) return EBUSY;
  if (!m_claimedBy) m_changes.connected = true;
  m_claimedBy = owner;
  return 0;
}

int UrbPipes::Release(Owner owner, unsigned interface) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (GoneLocked(owner)) return ENODEV;
  if (interface != kInterfaceNumber || m_claimedBy != owner) return EINVAL;
  ReleaseClaim();
  return 0;
}

int UrbPipes::CheckClaim(Owner owner) {
  if (GoneLocked(owner)) return ENODEV;
  // usbdevfs claims an unclaimed interface for the first URB sent to it.
  if (!m_claimedBy) {
    m_claimedBy = owner;
    m_changes.connected = true;
  }
  return *m_claimedBy == owner ? 0 : EBUSY;
}

void UrbPipes::ReleaseClaim() {
  if (!m_claimedBy) return;
  const Owner owner = *m_claimedBy;
  // The kernel kills the URBs of a released interface.
  for (auto* queue : {&m_in, &m_out}) {
    for (auto it = queue->begin(); it != queue->end();) {
      if (it->owner == owner) {
        Done(owner, Completion{it->urb, -ENOENT, 0, std::nullopt});
        it = queue->erase(it);
      } else {
        ++it;
      }
    }
  }
  m_claimedBy.reset();
  m_changes.disconnected = true;
}

int UrbPipes::SubmitInterrupt(Owner owner, UrbAddress urb, std::uint8_t endpoint, int length,
                              const Packet* out) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (const int error = CheckClaim(owner)) return error;
  const SteadyTime now = std::chrono::steady_clock::now();
  if (endpoint == kEndpointIn) {
    if (length <= 0) return EINVAL;
    m_timing.Submitted(true, now, m_in.size());
    m_in.push_back(Pending{owner, urb, {}, now});
  } else if (endpoint == kEndpointOut) {
    if (out == nullptr) return EINVAL;
    m_timing.Submitted(false, now, m_out.size());
    m_out.push_back(Pending{owner, urb, *out, now});
  } else {
    return ENOENT;
  }
  return 0;
}

int UrbPipes::SubmitDone(Owner owner, const Completion& done) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (GoneLocked(owner)) return ENODEV;
  Done(owner, done);
  return 0;
}

int UrbPipes::Discard(Owner owner, UrbAddress urb) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (GoneLocked(owner)) return ENODEV;
  for (auto* queue : {&m_in, &m_out}) {
    const auto it = std::find_if(queue->begin(), queue->end(), [&](const Pending& p) {
      return p.owner == owner && p.urb == urb;
    });
    if (it != queue->end()) {
      queue->erase(it);
      Done(owner, Completion{urb, -ENOENT, 0, std::nullopt});
      return 0;
    }
  }
  return EINVAL;  // already done (the caller reaps it) or never submitted
}

int UrbPipes::Reap(Owner owner, Completion& done) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto it = m_done.find(owner);
  if (it == m_done.end() || it->second.empty()) return GoneLocked(owner) ? ENODEV : EAGAIN;
  done = it->second.front();
  it->second.pop_front();
  if (done.interrupt && done.status == 0)
    m_timing.Reaped(done.inEndpoint, done.finished, std::chrono::steady_clock::now());
  return 0;
}

void UrbPipes::Vanished(Owner owner) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_claimedBy == owner) ReleaseClaim();
  m_done.erase(owner);
  m_open.erase(owner);
  m_stale.erase(owner);
}

bool UrbPipes::Gone(Owner owner) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return GoneLocked(owner);
}

bool UrbPipes::OutWaiting() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return !m_out.empty();
}

std::optional<SteadyTime> UrbPipes::OldestOut() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_out.empty()) return std::nullopt;
  return m_out.front().submitted;
}

std::optional<SteadyTime> UrbPipes::OldestIn() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_in.empty()) return std::nullopt;
  return m_in.front().submitted;
}

std::optional<Packet> UrbPipes::TakeOut(SteadyTime now) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_out.empty()) return std::nullopt;
  const Pending pending = m_out.front();
  m_out.pop_front();
  m_timing.Carried(false, pending.submitted, now);
  Done(pending.owner,
       Completion{pending.urb, 0, static_cast<int>(kPacketSize), std::nullopt, true, false, now});
  return pending.out;
}

bool UrbPipes::InWaiting() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return !m_in.empty();
}

bool UrbPipes::GiveIn(const Packet& packet, SteadyTime ready, SteadyTime now) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_in.empty()) return false;
  const Pending pending = m_in.front();
  m_in.pop_front();
  m_timing.Carried(true, std::max(pending.submitted, ready), now);
  Done(pending.owner,
       Completion{pending.urb, 0, static_cast<int>(kPacketSize), packet, true, true, now});
  return true;
}

std::string UrbPipes::TimingText() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_timing.Text();
}

void UrbPipes::ClearTiming() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_timing.Clear();
}

bool UrbPipes::Claimed() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_claimedBy.has_value();
}

bool UrbPipes::AnyDone() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return std::any_of(m_done.begin(), m_done.end(), [this](const auto& entry) {
    return !entry.second.empty() && m_stale.count(entry.first) == 0;
  });
}

Changes UrbPipes::TakeChanges() {
  std::lock_guard<std::mutex> lock(m_mutex);
  const Changes changes = m_changes;
  m_changes = Changes{};
  return changes;
}

void UrbPipes::Unplug() {
  std::lock_guard<std::mutex> lock(m_mutex);
  for (auto* queue : {&m_in, &m_out}) {
    for (const Pending& pending : *queue)
      Done(pending.owner, Completion{pending.urb, -ENODEV, 0, std::nullopt});
    queue->clear();
  }
  if (m_claimedBy) {
    m_claimedBy.reset();
    m_changes.disconnected = true;
  }
  m_stale.insert(m_open.begin(), m_open.end());
  m_open.clear();
  m_unplugged = true;
}

void UrbPipes::Plug() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_unplugged = false;
}

}  // namespace qvx::sim::usb
