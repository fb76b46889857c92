#include "kernel/Thread.h"

namespace qvx::driver {

struct KThreadStart {
  static void NTAPI Run(PVOID context) {
    auto* self = static_cast<KThread*>(context);
    self->m_routine(self->m_context);
    PsTerminateSystemThread(STATUS_SUCCESS);
  }
};

NTSTATUS KThread::Start(ThreadRoutine routine, void* context) {
  if (m_thread != nullptr) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  m_routine = routine;
  m_context = context;
  HANDLE handle = nullptr;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
  NTSTATUS status = PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, &attributes, nullptr, nullptr,
                                         &KThreadStart::Run, this);
  if (!NT_SUCCESS(status)) {
    return STATUS_INSUFFICIENT_RESOURCES;
  }
  // The thread object, not the handle, is what Join waits on.
  status = ObReferenceObjectByHandle(handle, SYNCHRONIZE, nullptr, KernelMode, &m_thread, nullptr);
  ZwClose(handle);
  if (!NT_SUCCESS(status)) {
    // It runs, but nothing could wait for it: a caller that frees its
    // context after a failed start would pull it from under the thread.
    m_thread = nullptr;
    return status;
  }
  return STATUS_SUCCESS;
}

void KThread::Join() {
  if (m_thread == nullptr) {
    return;
  }
  KeWaitForSingleObject(m_thread, Executive, KernelMode, FALSE, nullptr);
  ObDereferenceObject(m_thread);
  m_thread = nullptr;
}

bool KThread::Joinable() const { return m_thread != nullptr; }

}  // namespace qvx::driver
