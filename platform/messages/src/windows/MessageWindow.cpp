// A message-only window of one class, its data in GWLP_USERDATA and its
// procedure in a window property: the class procedure passes each message
// on to the procedure the window was made with.
#include "platform/Messages.h"

namespace platform {

namespace {

constexpr const char* kClassName = "QvxMessageWindow";
constexpr const char* kProcedureProperty = "QvxWindowProcedure";

LRESULT CALLBACK Relay(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto procedure = reinterpret_cast<WNDPROC>(::GetPropA(window, kProcedureProperty));
  if (procedure == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
  return procedure(window, message, wParam, lParam);
}

bool RegisterOnce() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &Relay;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    return ::RegisterClassA(&windowClass) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

HWND CreateMessageWindow(WNDPROC procedure, void* userData) {
  if (!RegisterOnce()) return nullptr;
  HWND window = ::CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(userData));
  if (!::SetPropA(window, kProcedureProperty, reinterpret_cast<HANDLE>(procedure))) {
    ::DestroyWindow(window);
    return nullptr;
  }
  return window;
}

void CreateMessageQueue() {
  // A thread gets its queue at its first call that looks at one.
  MSG message;
  ::PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

void* GetWindowUserData(HWND window) {
  return reinterpret_cast<void*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

}  // namespace platform
