#include <gtest/gtest.h>

#include <thread>

#include "platform/Messages.h"
#include "platform/System.h"

namespace {

using namespace platform;

struct OwnedEvent {
  HANDLE handle = CreateEvent(nullptr, true, false, nullptr);
  ~OwnedEvent() { CloseHandle(handle); }
};

TEST(MsgWaitTest, ObjectsComeBeforeMessagesAndEitherEndsTheWait) {
  struct Case {
    const char* name;
    bool eventSet;
    bool messagePosted;
    DWORD mask;
    DWORD expected;
  };
  const Case cases[] = {
      {"nothing", false, false, QS_ALLINPUT, WAIT_TIMEOUT},
      {"message", false, true, QS_ALLINPUT, WAIT_OBJECT_0 + 2},
      {"message not asked for", false, true, 0, WAIT_TIMEOUT},
      {"event", true, false, QS_ALLINPUT, WAIT_OBJECT_0 + 1},
      {"event and message", true, true, QS_ALLINPUT, WAIT_OBJECT_0 + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OwnedEvent first, second;
    if (c.eventSet) SetEvent(second.handle);
    if (c.messagePosted) {
      ASSERT_TRUE(PostMessageA(nullptr, WM_USER, 1, 2));
    }
    const HANDLE handles[] = {first.handle, second.handle};
    EXPECT_EQ(MsgWaitForMultipleObjects(2, handles, false, 20, c.mask), c.expected);
    MSG drained;
    while (PeekMessageA(&drained, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
}

TEST(MsgWaitTest, AMessageFromAnotherThreadWakesAnUnlimitedWait) {
  OwnedEvent never;
  const DWORD self = GetCurrentThreadId();
  ASSERT_GE(MessageQueueDescriptor(), 0);  // the queue exists before the poster looks
  std::thread poster([self] { PostThreadMessage(self, WM_USER + 7, 0, 0); });
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &never.handle, false, INFINITE, QS_ALLINPUT),
            WAIT_OBJECT_0 + 1);
  poster.join();
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_USER + 7);
  EXPECT_EQ(message.hwnd, nullptr);
}

TEST(PeekMessageTest, FiltersAndNoRemoveLeaveTheQueueAsItWas) {
  PostMessageA(nullptr, WM_USER + 1, 0, 0);
  PostMessageA(nullptr, WM_CLOSE, 0, 0);
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
  EXPECT_EQ(message.message, WM_CLOSE);
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_USER + 1);  // order kept
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, WM_CLOSE);
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  // An empty queue no longer wakes a wait.
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, false, 0, QS_ALLINPUT), WAIT_TIMEOUT);
}

struct Seen {
  DWORD thread = 0;
  UINT message = 0;
  WPARAM wParam = 0;
};

LRESULT Record(HWND window, UINT message, WPARAM wParam, LPARAM) {
  auto* seen = static_cast<Seen*>(GetWindowUserData(window));
  *seen = Seen{GetCurrentThreadId(), message, wParam};
  return 42;
}

TEST(WindowTest, PostedFromAnyThreadDispatchedOnTheOwner) {
  Seen seen;
  HWND window = CreateMessageWindow(&Record, &seen);
  ASSERT_NE(window, nullptr);
  std::thread poster([window] { PostMessageA(window, WM_USER + 3, 9, 0); });
  poster.join();
  MSG message;
  ASSERT_EQ(GetMessage(&message, nullptr, 0, 0), 1);
  EXPECT_FALSE(TranslateMessage(&message));
  EXPECT_EQ(DispatchMessageA(&message), 42);
  EXPECT_EQ(seen.thread, GetCurrentThreadId());
  EXPECT_EQ(seen.message, WM_USER + 3);
  EXPECT_EQ(seen.wParam, 9u);

  PostMessageA(window, WM_USER, 0, 0);
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) << "its messages go with it";
  EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST(WindowTest, AThreadThatEndedTakesItsQueueAndWindowsAlong) {
  HWND window = nullptr;
  DWORD thread = 0;
  std::thread owner([&] {
    static Seen seen;
    window = CreateMessageWindow(&Record, &seen);
    thread = GetCurrentThreadId();
  });
  owner.join();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
  EXPECT_FALSE(PostThreadMessage(thread, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_THREAD_ID);
}

TEST(GetMessageTest, QuitEndsTheLoop) {
  PostQuitMessage(3);
  MSG message;
  EXPECT_EQ(GetMessage(&message, nullptr, 0, 0), 0);
  EXPECT_EQ(message.wParam, 3u);
}

}  // namespace
