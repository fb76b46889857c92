// CSignal: one event of the plug-in, unnamed or named machine-wide, and the
// waits over several of them, one of which keeps window messages flowing.
#pragma once

#include <string>
#include <vector>

#include "platform/Sync.h"

namespace qvx::brixon {

// The machine-wide event that ends a waiting request as cancelled by
// another session (fixed prefix and GUID).
constexpr const char* kSessionCancelEventName =
    "Global\\BRIXON_SessionCancel_{3D8E5B17-6A2C-4F90-B1D4-72E9C05A8F3B}";

class CSignal {
 public:
  // CreateEvent; a named event that exists already is shared (its reset
  // type and state are kept). Raises CError "CreateEvent(nullptr, <name>) failed.".
  CSignal(bool manualReset, bool initialState, const std::string& name = "");
  ~CSignal();  // a failed close is logged
  CSignal(const CSignal&) = delete;
  CSignal& operator=(const CSignal&) = delete;

  void Signal();  // raises "PulseEvent(<name>) failed."
  void Reset();   // raises "ResetEvent(<name>) failed."
  // A zero-time wait: true while set (an automatic-reset event is taken).
  bool IsSet() const;
  // True when signalled within the time limit.
  bool Wait(platform::DWORD milliseconds) const;

  bool AlreadyExisted() const { return m_existed; }
  const std::string& GetName() const { return m_name; }
  platform::HANDLE GetHandle() const { return m_handle; }

  // Index of the first signalled one, -1 on timeout. Raises
  // "WaitForMultipleObjects() failed.".
  static int WaitMultiple(const std::vector<const CSignal*>& signals, platform::DWORD milliseconds);
  // The same while dispatching the calling thread's window messages. A
  // WM_CLOSE, WM_QUIT or WM_CANCELMODE is posted back and ends the wait
  // with "Received WM_CLOSE." (or the others'). An abandoned or failed wait
  // raises "WaitForMultipleObjects() failed.".
  static int WaitMsgMultiple(const std::vector<const CSignal*>& signals,
                             platform::DWORD milliseconds);

 private:
  std::string m_name;
  platform::HANDLE m_handle = nullptr;
  bool m_existed = false;
};

}  // namespace qvx::brixon
