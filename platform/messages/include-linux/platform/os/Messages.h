// Window messages on Linux, shaped after the Win32 calls: a message queue per thread,
// window objects whose procedure runs on the thread that created them, and
// the wait that wakes for posted messages as well as for kernel objects.
//
// A thread's queue comes into being on its first message call (or when a
// window is created on it) and goes when the thread ends; posting to a
// thread without a queue fails. Posting is safe from any thread. The queue
// has a descriptor that is readable while it holds a message, so a wait
// for messages joins the poll-based wait of platform/Sync.h.
//
// There is no keyboard or mouse input here: TranslateMessage never produces
// a message, and QS_ALLINPUT covers posted messages only.
#pragma once

#include <cstdint>

#include "platform/Sync.h"
#include "platform/os/WinTypes.h"

namespace platform {

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

struct Window;
using HWND = Window*;

// A window procedure's calling convention (__stdcall on 32-bit Windows).
#ifndef CALLBACK
#define CALLBACK
#endif
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct MSG {
  HWND hwnd = nullptr;  // nullptr for a thread message
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;  // milliseconds of the monotonic clock when posted
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_USER = 0x0400;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

constexpr DWORD QS_POSTMESSAGE = 0x0008;
constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;
constexpr DWORD QS_ALLINPUT = 0x04FF;

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;

// Only the owning thread may destroy its window; messages still queued for
// it are dropped.
bool DestroyWindow(HWND window);
// The thread that owns the window; 0 for an unknown window.
DWORD GetWindowThreadProcessId(HWND window);

// Queues a message for the window's thread; a null window posts a thread
// message to the calling thread. Fails (false, ERROR_INVALID_WINDOW_HANDLE)
// for a destroyed window or one whose thread has ended.
bool PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Fails with ERROR_INVALID_THREAD_ID when the thread has no queue.
bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// The first queued message of the calling thread that matches: `window`
// nullptr matches every message, a window only its own; [first, last]
// filters by number unless both are 0. PM_REMOVE takes it off the queue.
bool PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
// Waits for a matching message and removes it: >0 for a message, 0 for
// WM_QUIT, -1 on failure.
int GetMessage(MSG* message, HWND window, UINT first, UINT last);
bool TranslateMessage(const MSG* message);
// Runs the window procedure of the message's window (0 for a thread
// message or a window of another thread).
LRESULT DispatchMessageA(const MSG* message);
// What a window procedure does with messages it does not handle.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// WaitForMultipleObjects that also ends when the calling thread's queue
// holds a message and `wakeMask` asks for posted messages: then it returns
// WAIT_OBJECT_0 + count. The objects are checked first, as on Windows.
// A message that stays queued keeps the wait ending at once.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* objects, bool waitAll,
                                DWORD milliseconds, DWORD wakeMask);

// The calling thread's queue descriptor (readable while a message is
// queued); creates the queue.
int MessageQueueDescriptor();

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::DestroyWindow;
using platform::DispatchMessageA;
using platform::MsgWaitForMultipleObjects;
using platform::PeekMessageA;
using platform::PM_REMOVE;
using platform::PostMessageA;
using platform::PostThreadMessage;
using platform::QS_ALLINPUT;
using platform::TranslateMessage;
using platform::WM_CANCELMODE;
using platform::WM_CLOSE;
using platform::WM_QUIT;
using platform::WM_USER;
