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

namespace qvxrdr {

class CLinkState {
 public:
  // Any thread, the lower edge's own included.
  void MarkGone() { gone_.store(true); }
  bool Gone() const { return gone_.load(); }

 private:
  std::atomic<bool> gone_{false};
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
  std::mutex mutex_;
  std::condition_variable changed_;
  Clock::time_point last_{};  // of the last attempt; the epoch: none yet
  bool interrupted_ = false;
};

}  // namespace qvxrdr
