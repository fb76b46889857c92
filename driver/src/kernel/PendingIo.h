// The device's pending-I/O count and its idle event.
//
// Offers: PendingIoCount — the counter starts at 1; the idle event
// (synchronization, initially signalled) is cleared when the counter goes
// from 1 to 2 and set when it goes from 2 to 1, so query-remove/query-stop
// can wait for running requests. PendingIoScope enters on construction and
// leaves on destruction.
#pragma once

#include <cstdint>

#include "kernel/Event.h"
#include "kernel/Mutex.h"

namespace qvxrdr {

class PendingIoCount {
 public:
  PendingIoCount();

  void Enter();
  void Leave();
  std::int32_t Count();
  KEvent& IdleEvent() { return idle_; }

 private:
  SpinLock lock_;
  std::int32_t count_ = 1;
  KEvent idle_;
};

class PendingIoScope {
 public:
  explicit PendingIoScope(PendingIoCount& count) : count_(count) { count_.Enter(); }
  ~PendingIoScope() { count_.Leave(); }
  PendingIoScope(const PendingIoScope&) = delete;
  PendingIoScope& operator=(const PendingIoScope&) = delete;

 private:
  PendingIoCount& count_;
};

}  // namespace qvxrdr
