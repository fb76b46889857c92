// A named notification event that other processes set: the reader's
// cancel event.
//
// Offers: KNamedEvent — Open(name) creates it or opens the existing one
// (on Linux "Global\<name>"; on Windows the kernel's full name, under
// "\BaseNamedObjects\Global"); Clear; IsSet, which looks without taking; and
// WaitSetOr(stop), which waits until it is set (STATUS_WAIT_0) or `stop`
// is (STATUS_WAIT_0 + 1), also without taking it. The system part is
// kernel/os/NamedEventObject.h.
#pragma once

#include "kernel/Event.h"
#include "kernel/NtStatus.h"
#include "kernel/os/NamedEventObject.h"

namespace qvx::driver {

class KNamedEvent {
 public:
  KNamedEvent() = default;
  ~KNamedEvent() { Close(); }
  KNamedEvent(const KNamedEvent&) = delete;
  KNamedEvent& operator=(const KNamedEvent&) = delete;

  NTSTATUS Open(const char* name);
  void Close();
  bool IsOpen() const;
  void Clear();
  bool IsSet();
  NTSTATUS WaitSetOr(KEvent& stop);

 private:
  NamedEventObject m_object{};
};

}  // namespace qvx::driver
