// Window messages in Win32 shape (PostMessage, PeekMessage, GetMessage,
// DispatchMessage, MsgWaitForMultipleObjects, ...), and the platform's
// helpers for a message-only window with data of its own.
#pragma once

#include "platform/os/Messages.h"

namespace platform {

// A window owned by the calling thread: messages posted to it land in that
// thread's queue and DispatchMessageA runs `procedure` there. `userData` is
// handed back by GetWindowUserData. Returns nullptr on failure.
HWND CreateMessageWindow(WNDPROC procedure, void* userData = nullptr);
void* GetWindowUserData(HWND window);
// Gives the calling thread its message queue now, so that messages posted
// to it before it first looks for one are kept.
void CreateMessageQueue();
}  // namespace platform
