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

namespace qvx::driver {

class PendingIoCount {
 public:
  PendingIoCount();

  void Enter();
  void Leave();
  std::int32_t Count();
  KEvent& IdleEvent() { return m_idle; }

 private:
  SpinLock m_lock;
  std::int32_t m_count = 1;
  KEvent m_idle;
};

class PendingIoScope {
 public:
  explicit PendingIoScope(PendingIoCount& count) : m_count(count) { m_count.Enter(); }
  ~PendingIoScope() { m_count.Leave(); }
  PendingIoScope(const PendingIoScope&) = delete;
  PendingIoScope& operator=(const PendingIoScope&) = delete;

 private:
  PendingIoCount& m_count;
};

}  // namespace qvx::driver
