#include "brixon/Signal.h"

#include <chrono>
#include <vector>

#include "brixon/Error.h"
#include "platform/Messages.h"

namespace qvx::brixon {

namespace {

using platform::DWORD;

std::vector<platform::HANDLE> HandlesOf(const std::vector<const CSignal*>& signals) {
  std::vector<platform::HANDLE> handles;
  handles.reserve(signals.size());
  for (const CSignal* signal : signals) handles.push_back(signal->GetHandle());
  return handles;
}

// The messages that end a message-pumping wait, and their texts.
const char* EndingMessage(platform::UINT message) {
  switch (message) {
    case WM_CLOSE:
      return "Received WM_CLOSE.";
    case WM_QUIT:
      return "Received WM_QUIT.";
    case WM_CANCELMODE:
      return "Received WM_CANCELMODE.";
    default:
      return nullptr;
  }
}

}  // namespace

CSignal::CSignal(bool manualReset, bool initialState, const std::string& name) : m_name(name) {
  m_handle = CreateEvent(nullptr, manualReset, initialState, name.empty() ? nullptr : name.c_str());
  if (m_handle == nullptr) {
    throw CError("CSignal::CSignal()", "CreateEvent(nullptr, " + m_name + ") failed.",
                 GetLastError());
  }
  m_existed = !name.empty() && GetLastError() == ERROR_ALREADY_EXISTS;
}

CSignal::~CSignal() {
  if (!CloseHandle(m_handle)) {
    try {
      CError("CSignal::~CSignal()", "CloseHandle(" + m_name + ") failed.", GetLastError());
    } catch (...) {
    }
  }
}

void CSignal::Signal() {
  if (!SetEvent(m_handle)) {
    throw CError("CSignal::Signal()", "PulseEvent(" + m_name + ") failed.", GetLastError());
  }
}

void CSignal::Reset() {
  if (!ResetEvent(m_handle)) {
    throw CError("CSignal::Reset()", "ResetEvent(" + m_name + ") failed.", GetLastError());
  }
}

bool CSignal::IsSet() const { return Wait(0); }

bool CSignal::Wait(DWORD milliseconds) const {
  return WaitForSingleObject(m_handle, milliseconds) == WAIT_OBJECT_0;
}

int CSignal::WaitMultiple(const std::vector<const CSignal*>& signals, DWORD milliseconds) {
  const std::vector<platform::HANDLE> handles = HandlesOf(signals);
  const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                              false, milliseconds);
  if (result < WAIT_OBJECT_0 + handles.size()) {
    return static_cast<int>(result - WAIT_OBJECT_0);
  }
  if (result == WAIT_TIMEOUT) return -1;
  throw CError("CSignal::WaitMultiple()", "WaitForMultipleObjects() failed.", GetLastError());
}

int CSignal::WaitMsgMultiple(const std::vector<const CSignal*>& signals, DWORD milliseconds) {
  using Clock = std::chrono::steady_clock;
  const std::vector<platform::HANDLE> handles = HandlesOf(signals);
  const auto count = static_cast<DWORD>(handles.size());
  const Clock::time_point start = Clock::now();
  for (;;) {
    DWORD left = milliseconds;
    if (milliseconds != INFINITE) {
      const auto spent =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      left = spent >= milliseconds ? 0 : milliseconds - static_cast<DWORD>(spent);
    }
    const DWORD result = MsgWaitForMultipleObjects(count, handles.data(), false, left, QS_ALLINPUT);
    if (result < WAIT_OBJECT_0 + count) {
      return static_cast<int>(result - WAIT_OBJECT_0);
    }
    if (result == WAIT_TIMEOUT) return -1;
    if (result != WAIT_OBJECT_0 + count) {
      throw CError("CSignal::WaitMsgMultiple()", "WaitForMultipleObjects() failed.",
                   GetLastError());
    }
    platform::MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (const char* text = EndingMessage(message.message)) {
        // The window (or the thread's own loop) still has to see it.
        PostMessageA(message.hwnd, message.message, message.wParam, message.lParam);
        throw CError("CSignal::WaitMsgMultiple()", text);
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

}  // namespace qvx::brixon
