// A thread of the driver (a system thread on Windows).
//
// Offers: KThread — Start(routine, context) runs routine(context) on a new
// thread (STATUS_INSUFFICIENT_RESOURCES when none can be made); Join()
// waits for it to end; the destructor joins a thread that was never
// joined. The system part is kernel/os/ThreadObject.h.
#pragma once

#include "kernel/NtStatus.h"
#include "kernel/os/ThreadObject.h"

namespace qvx::driver {

using ThreadRoutine = void (*)(void* context);

class KThread {
 public:
  KThread() = default;
  ~KThread() { Join(); }
  KThread(const KThread&) = delete;
  KThread& operator=(const KThread&) = delete;

  NTSTATUS Start(ThreadRoutine routine, void* context);
  // Nothing when no thread runs; never from the thread itself.
  void Join();
  bool Joinable() const;

 private:
  // The system part's thread start, which runs routine(context).
  friend struct KThreadStart;

  ThreadRoutine m_routine = nullptr;
  void* m_context = nullptr;
  ThreadObject m_thread;
};

}  // namespace qvx::driver
