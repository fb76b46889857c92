// Whether the device behind a channel is still there, as its lower edge
// tells: the link of a device that went away (cable pulled, simulator
// gone) reports STATUS_DEVICE_REMOVED on every transfer from then on.
//
// Offers: CLinkState — the gone flag of one lower edge; WatchLowerEdge —
// wraps a lower edge so that its failures set that flag; CReopenPacing —
// per channel, at most one reopen attempt per interval, with a wait that
// the polling stop can end.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "transport/LowerEdge.h"

namespace qvx::driver {

class CLinkState {
 public:
  // Any thread, the lower edge's own included.
  void MarkGone() { m_gone.store(true); }
  bool Gone() const { return m_gone.load(); }

 private:
  std::atomic<bool> m_gone{false};
};

// `state` learns of STATUS_DEVICE_REMOVED from submits and completions;
// everything else passes through unchanged.
std::unique_ptr<ILowerEdge> WatchLowerEdge(std::unique_ptr<ILowerEdge> lower,
                                           std::shared_ptr<CLinkState> state);

class CReopenPacing {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kInterval{1000};

  // Claims the next attempt when it is due; false while the last one is
  // less than an interval ago.
  bool Claim();
  // Waits until an attempt is due, at most `limit`, or until Interrupt().
  // True when due.
  bool WaitUntilDue(std::chrono::milliseconds limit);
  // Ends the present wait (or the next one) once.
  void Interrupt();

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  Clock::time_point m_last{};  // of the last attempt; the epoch: none yet
  bool m_interrupted = false;
};

}  // namespace qvx::driver
