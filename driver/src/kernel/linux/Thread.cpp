#include "kernel/Thread.h"

#include <system_error>

namespace qvx::driver {

struct KThreadStart {
  static void Run(KThread* self) { self->m_routine(self->m_context); }
};

NTSTATUS KThread::Start(ThreadRoutine routine, void* context) {
  if (m_thread.joinable()) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  m_routine = routine;
  m_context = context;
  try {
    m_thread = std::thread(&KThreadStart::Run, this);
  } catch (const std::system_error&) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  return STATUS_SUCCESS;
}

void KThread::Join() {
  if (m_thread.joinable()) {
    m_thread.join();
  }
}

bool KThread::Joinable() const { return m_thread.joinable(); }

}  // namespace qvx::driver
