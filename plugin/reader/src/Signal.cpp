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
    case platform::WM_CLOSE:
      return "Received WM_CLOSE.";
    case platform::WM_QUIT:
      return "Received WM_QUIT.";
    case platform::WM_CANCELMODE:
      return "Received WM_CANCELMODE.";
    default:
      return nullptr;
  }
}

}  // namespace

CSignal::CSignal(bool manualReset, bool initialState, const std::string& name) : m_name(name) {
  m_handle =
      platform::CreateEvent(manualReset, initialState, name.empty() ? nullptr : name.c_str());
  if (m_handle == nullptr) {
    throw CError("CSignal::CSignal()", "CreateEvent(" + m_name + ") failed.",
                 platform::GetLastError());
  }
  m_existed = !name.empty() && platform::GetLastError() == platform::ERROR_ALREADY_EXISTS;
}

CSignal::~CSignal() {
  if (!platform::CloseHandle(m_handle)) {
    try {
      CError("CSignal::~CSignal()", "CloseHandle(" + m_name + ") failed.",
             platform::GetLastError());
    } catch (...) {
    }
  }
}

void CSignal::Signal() {
  if (!platform::SetEvent(m_handle)) {
    throw CError("CSignal::Signal()", "PulseEvent(" + m_name + ") failed.",
                 platform::GetLastError());
  }
}

void CSignal::Reset() {
  if (!platform::ResetEvent(m_handle)) {
    throw CError("CSignal::Reset()", "ResetEvent(" + m_name + ") failed.",
                 platform::GetLastError());
  }
}

bool CSignal::IsSet() const { return Wait(0); }

bool CSignal::Wait(DWORD milliseconds) const {
  return platform::WaitForSingleObject(m_handle, milliseconds) == platform::WAIT_OBJECT_0;
}

int CSignal::WaitMultiple(const std::vector<const CSignal*>& signals, DWORD milliseconds) {
  const std::vector<platform::HANDLE> handles = HandlesOf(signals);
  const DWORD result = platform::WaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                        handles.data(), false, milliseconds);
  if (result < platform::WAIT_OBJECT_0 + handles.size()) {
    return static_cast<int>(result - platform::WAIT_OBJECT_0);
  }
  if (result == platform::WAIT_TIMEOUT) return -1;
  throw CError("CSignal::WaitMultiple()", "WaitForMultipleObjects() failed.",
               platform::GetLastError());
}

int CSignal::WaitMsgMultiple(const std::vector<const CSignal*>& signals, DWORD milliseconds) {
  using Clock = std::chrono::steady_clock;
  const std::vector<platform::HANDLE> handles = HandlesOf(signals);
  const auto count = static_cast<DWORD>(handles.size());
  const Clock::time_point start = Clock::now();
  for (;;) {
    DWORD left = milliseconds;
    if (milliseconds != platform::INFINITE) {
      const auto spent =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      left = spent >= milliseconds ? 0 : milliseconds - static_cast<DWORD>(spent);
    }
    const DWORD result = platform::MsgWaitForMultipleObjects(count, handles.data(), false, left,
                                                             platform::QS_ALLINPUT);
    if (result < platform::WAIT_OBJECT_0 + count) {
      return static_cast<int>(result - platform::WAIT_OBJECT_0);
    }
    if (result == platform::WAIT_TIMEOUT) return -1;
    if (result != platform::WAIT_OBJECT_0 + count) {
      throw CError("CSignal::WaitMsgMultiple()", "WaitForMultipleObjects() failed.",
                   platform::GetLastError());
    }
    platform::MSG message;
    while (platform::PeekMessageA(&message, nullptr, 0, 0, platform::PM_REMOVE)) {
      if (const char* text = EndingMessage(message.message)) {
        // The window (or the thread's own loop) still has to see it.
        platform::PostMessageA(message.hwnd, message.message, message.wParam, message.lParam);
        throw CError("CSignal::WaitMsgMultiple()", text);
      }
      platform::TranslateMessage(&message);
      platform::DispatchMessageA(&message);
    }
  }
}

}  // namespace qvx::brixon
