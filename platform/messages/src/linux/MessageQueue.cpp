// Thread queues and windows. A queue belongs to its thread (created on the
// thread's first message call, dropped when the thread ends); windows and
// posters reach it through the registry, so posting from any thread never
// touches a queue that is gone.
#include <sys/eventfd.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "MessageQueue.h"
#include "platform/Messages.h"
#include "platform/System.h"
#include "platform/posix/UniqueFd.h"

struct platform::Window {
  WNDPROC procedure = nullptr;
  void* userData = nullptr;
  DWORD threadId = 0;
};

namespace platform {
namespace detail {

namespace {

DWORD NowMs() {
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count());
}

bool Matches(const MSG& message, HWND window, UINT first, UINT last) {
  if (window != nullptr && message.hwnd != window) return false;
  if (first == 0 && last == 0) return true;
  return message.message >= first && message.message <= last;
}

}  // namespace

class ThreadQueue {
 public:
  explicit ThreadQueue(DWORD threadId)
      : m_threadId(threadId), m_ready(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

  bool Valid() const { return m_ready.Valid(); }
  DWORD ThreadId() const { return m_threadId; }
  int Descriptor() const { return m_ready.Get(); }

  void Post(const MSG& message) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_messages.empty()) {
      const std::uint64_t one = 1;
      while (::write(m_ready.Get(), &one, sizeof one) < 0 && errno == EINTR) {
      }
    }
    m_messages.push_back(message);
  }

  bool Peek(MSG* out, HWND window, UINT first, UINT last, bool remove) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
      if (!Matches(*it, window, first, last)) continue;
      *out = *it;
      if (remove) {
        m_messages.erase(it);
        DrainIfEmpty();
      }
      return true;
    }
    return false;
  }

  bool Empty() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.empty();
  }

  void DropFor(HWND window) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_messages.begin(); it != m_messages.end();) {
      it = it->hwnd == window ? m_messages.erase(it) : it + 1;
    }
    DrainIfEmpty();
  }

 private:
  void DrainIfEmpty() {
    if (!m_messages.empty()) return;
    std::uint64_t value = 0;
    while (::read(m_ready.Get(), &value, sizeof value) < 0 && errno == EINTR) {
    }
  }

  const DWORD m_threadId;
  UniqueFd m_ready;  // eventfd, non-zero exactly while a message is queued
  std::mutex m_mutex;
  std::deque<MSG> m_messages;
};

namespace {

// Never destroyed: threads may end (and unregister) during process exit.
struct Registry {
  std::mutex mutex;
  std::map<DWORD, std::shared_ptr<ThreadQueue>> queues;
  std::map<HWND, std::unique_ptr<Window>> windows;
};

Registry& Shared() {
  static Registry* registry = new Registry;
  return *registry;
}

// Unregisters the thread's queue and its windows when the thread ends.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    Registry& registry = Shared();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.queues.erase(queue->ThreadId());
    for (auto it = registry.windows.begin(); it != registry.windows.end();) {
      it = it->second->threadId == queue->ThreadId() ? registry.windows.erase(it) : std::next(it);
    }
  }
};

thread_local QueueHolder tQueue;

std::shared_ptr<ThreadQueue> QueueOf(DWORD threadId) {
  Registry& registry = Shared();
  std::lock_guard<std::mutex> lock(registry.mutex);
  const auto found = registry.queues.find(threadId);
  return found == registry.queues.end() ? nullptr : found->second;
}

}  // namespace

ThreadQueue* CurrentQueue() {
  if (tQueue.queue) return tQueue.queue.get();
  auto queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
  if (!queue->Valid()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Registry& registry = Shared();
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.queues[queue->ThreadId()] = queue;
  }
  tQueue.queue = std::move(queue);
  return tQueue.queue.get();
}

bool HasMessage(ThreadQueue& queue) { return !queue.Empty(); }
int Descriptor(ThreadQueue& queue) { return queue.Descriptor(); }

}  // namespace detail

using detail::CurrentQueue;
using detail::Shared;

HWND CreateMessageWindow(WNDPROC procedure, void* userData) {
  if (procedure == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (CurrentQueue() == nullptr) return nullptr;
  auto window = std::make_unique<Window>();
  window->procedure = procedure;
  window->userData = userData;
  window->threadId = GetCurrentThreadId();
  HWND handle = window.get();
  std::lock_guard<std::mutex> lock(Shared().mutex);
  Shared().windows.emplace(handle, std::move(window));
  return handle;
}

bool DestroyWindow(HWND window) {
  std::unique_ptr<Window> gone;
  {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    const auto found = Shared().windows.find(window);
    if (found == Shared().windows.end() || found->second->threadId != GetCurrentThreadId()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return false;
    }
    gone = std::move(found->second);
    Shared().windows.erase(found);
  }
  // A later window may get the same address: none of this one's messages
  // may reach it.
  if (detail::ThreadQueue* queue = CurrentQueue()) queue->DropFor(window);
  return true;
}

void* GetWindowUserData(HWND window) {
  std::lock_guard<std::mutex> lock(Shared().mutex);
  const auto found = Shared().windows.find(window);
  return found == Shared().windows.end() ? nullptr : found->second->userData;
}

DWORD GetWindowThreadProcessId(HWND window) {
  std::lock_guard<std::mutex> lock(Shared().mutex);
  const auto found = Shared().windows.find(window);
  return found == Shared().windows.end() ? 0 : found->second->threadId;
}

bool PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) {
    return PostThreadMessage(GetCurrentThreadId(), message, wParam, lParam);
  }
  std::shared_ptr<detail::ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    const auto found = Shared().windows.find(window);
    if (found != Shared().windows.end()) {
      const auto owner = Shared().queues.find(found->second->threadId);
      if (owner != Shared().queues.end()) queue = owner->second;
    }
  }
  if (!queue) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  queue->Post(MSG{window, message, wParam, lParam, detail::NowMs()});
  return true;
}

bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  if (threadId == GetCurrentThreadId() && CurrentQueue() == nullptr) return false;
  const std::shared_ptr<detail::ThreadQueue> queue = detail::QueueOf(threadId);
  if (!queue) {
    SetLastError(ERROR_INVALID_THREAD_ID);
    return false;
  }
  queue->Post(MSG{nullptr, message, wParam, lParam, detail::NowMs()});
  return true;
}

void PostQuitMessage(int exitCode) {
  PostThreadMessage(GetCurrentThreadId(), WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

bool PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove) {
  detail::ThreadQueue* queue = CurrentQueue();
  if (queue == nullptr || message == nullptr) return false;
  return queue->Peek(message, window, first, last, (remove & PM_REMOVE) != 0);
}

int GetMessage(MSG* message, HWND window, UINT first, UINT last) {
  detail::ThreadQueue* queue = CurrentQueue();
  if (queue == nullptr || message == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  while (!queue->Peek(message, window, first, last, true)) {
    pollfd ready{queue->Descriptor(), POLLIN, 0};
    if (::poll(&ready, 1, -1) < 0 && errno != EINTR) {
      SetLastError(ERROR_GEN_FAILURE);
      return -1;
    }
  }
  return message->message == WM_QUIT ? 0 : 1;
}

bool TranslateMessage(const MSG* /*message*/) { return false; }

LRESULT DispatchMessageA(const MSG* message) {
  if (message == nullptr || message->hwnd == nullptr) return 0;
  WNDPROC procedure = nullptr;
  {
    std::lock_guard<std::mutex> lock(Shared().mutex);
    const auto found = Shared().windows.find(message->hwnd);
    if (found == Shared().windows.end() || found->second->threadId != GetCurrentThreadId()) {
      return 0;
    }
    procedure = found->second->procedure;
  }
  // Outside the lock: the procedure may post, create or destroy windows.
  return procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  if (message == WM_CLOSE) DestroyWindow(window);
  return 0;
}

int MessageQueueDescriptor() {
  detail::ThreadQueue* queue = CurrentQueue();
  return queue == nullptr ? -1 : queue->Descriptor();
}

void CreateMessageQueue() { MessageQueueDescriptor(); }

}  // namespace platform
