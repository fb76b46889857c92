// The Win32-shaped calls over events and mutexes: a table of live handles
// and one poll()-based wait loop for every kind of object.
#include "platform/Sync.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "objects/KernelObjects.h"
#include "system/PlatformError.h"

namespace platform {

namespace {

using detail::AtEdge;
using detail::EventObject;
using detail::MutexObject;
using detail::ThrowError;
using ObjectPtr = std::shared_ptr<KernelObject>;

// Live handles. A wait holds its own reference, so closing a handle while
// another thread waits on it cannot pull the object away underneath.
class HandleTable {
 public:
  HANDLE Insert(ObjectPtr object) {
    std::lock_guard<std::mutex> lock(m_mutex);
    HANDLE handle = object.get();
    m_objects.emplace(handle, std::move(object));
    return handle;
  }

  ObjectPtr Find(HANDLE handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_objects.find(handle);
    if (found == m_objects.end()) {
      ThrowError(ERROR_INVALID_HANDLE);
    }
    return found->second;
  }

  ObjectPtr Remove(HANDLE handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_objects.find(handle);
    if (found == m_objects.end()) {
      ThrowError(ERROR_INVALID_HANDLE);
    }
    ObjectPtr object = std::move(found->second);
    m_objects.erase(found);
    return object;
  }

 private:
  std::mutex m_mutex;
  std::unordered_map<HANDLE, ObjectPtr> m_objects;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

template <typename Kind>
Kind& As(const ObjectPtr& object) {
  auto* kind = dynamic_cast<Kind*>(object.get());
  if (kind == nullptr) {
    ThrowError(ERROR_INVALID_HANDLE);  // an event call on a mutex or the reverse
  }
  return *kind;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left for poll(): -1 without limit, 0 when the time is up.
int RemainingMs(Clock::time_point start, DWORD milliseconds) {
  if (milliseconds == INFINITE) {
    return -1;
  }
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  const long long left = static_cast<long long>(milliseconds) * 1000 - elapsed;
  if (left <= 0) {
    return 0;
  }
  return static_cast<int>(std::min<long long>((left + 999) / 1000, INT_MAX));
}

// Objects without a descriptor (named mutexes) are retried after a short
// sleep that grows to this bound, which keeps time limits within ~10 ms.
constexpr int kMaxRetryMs = 10;

DWORD WaitAny(const std::vector<ObjectPtr>& objects, Clock::time_point start, DWORD milliseconds) {
  int retryMs = 1;
  std::vector<pollfd> descriptors;
  for (;;) {
    for (std::size_t i = 0; i < objects.size(); ++i) {
      switch (objects[i]->TryTake()) {
        case TakeResult::Taken:
          return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        case TakeResult::Abandoned:
          return WAIT_ABANDONED + static_cast<DWORD>(i);
        case TakeResult::Busy:
          break;
      }
    }
    int timeout = RemainingMs(start, milliseconds);
    if (timeout == 0) {
      return WAIT_TIMEOUT;
    }
    descriptors.clear();
    bool retry = false;
    for (const ObjectPtr& object : objects) {
      const int fd = object->WaitDescriptor();
      if (fd < 0) {
        retry = true;
      } else {
        descriptors.push_back(pollfd{fd, POLLIN, 0});
      }
    }
    if (retry) {
      timeout = timeout < 0 ? retryMs : std::min(timeout, retryMs);
      retryMs = std::min(retryMs * 2, kMaxRetryMs);
    }
    const int ready = ::poll(descriptors.data(), descriptors.size(), timeout);
    if (ready < 0 && errno != EINTR) {
      detail::ThrowErrno(errno);
    }
    for (const pollfd& descriptor : descriptors) {
      if ((descriptor.revents & POLLNVAL) != 0) {
        ThrowError(ERROR_INVALID_HANDLE);
      }
    }
  }
}

// Waiting for all objects takes them one after another within the common
// time limit, not atomically. When the limit runs out, what was taken so
// far is given back (mutexes released, automatic-reset events set again).
DWORD WaitAll(const std::vector<ObjectPtr>& objects, Clock::time_point start, DWORD milliseconds) {
  DWORD result = WAIT_OBJECT_0;
  std::size_t taken = 0;
  try {
    for (; taken < objects.size(); ++taken) {
      const DWORD one = WaitAny({objects[taken]}, start, milliseconds);
      if (one == WAIT_TIMEOUT) {
        break;
      }
      if (one == WAIT_ABANDONED && result == WAIT_OBJECT_0) {
        result = WAIT_ABANDONED + static_cast<DWORD>(taken);
      }
    }
  } catch (...) {
    while (taken > 0) {
      objects[--taken]->Untake();
    }
    throw;
  }
  if (taken == objects.size()) {
    return result;
  }
  while (taken > 0) {
    objects[--taken]->Untake();
  }
  return WAIT_TIMEOUT;
}

HANDLE Register(ObjectPtr object) { return Handles().Insert(std::move(object)); }

}  // namespace

HANDLE detail::RegisterObject(ObjectPtr object) { return Register(std::move(object)); }

ObjectPtr detail::FindObject(HANDLE handle) { return Handles().Find(handle); }

HANDLE CreateEvent(void* /*securityAttributes*/, bool manualReset, bool initialState,
                   const char* name) {
  return AtEdge<HANDLE>(nullptr, [&] {
    if (name == nullptr || *name == '\0') {
      HANDLE handle = Register(detail::MakeLocalEvent(manualReset, initialState));
      SetLastError(ERROR_SUCCESS);
      return handle;
    }
    detail::NamedObject named = detail::OpenNamedEvent(name, true, manualReset, initialState);
    HANDLE handle = Register(std::move(named.object));
    SetLastError(named.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  });
}

HANDLE OpenEvent(DWORD /*desiredAccess*/, bool /*inheritHandle*/, const char* name) {
  return AtEdge<HANDLE>(nullptr, [&] {
    if (name == nullptr || *name == '\0') {
      ThrowError(ERROR_INVALID_PARAMETER);
    }
    HANDLE handle = Register(detail::OpenNamedEvent(name, false, false, false).object);
    SetLastError(ERROR_SUCCESS);
    return handle;
  });
}

bool SetEvent(HANDLE event) {
  return AtEdge(false, [&] {
    As<EventObject>(Handles().Find(event)).Set();
    return true;
  });
}

bool ResetEvent(HANDLE event) {
  return AtEdge(false, [&] {
    As<EventObject>(Handles().Find(event)).Reset();
    return true;
  });
}

HANDLE CreateMutex(void* /*securityAttributes*/, bool initialOwner, const char* name) {
  return AtEdge<HANDLE>(nullptr, [&] {
    if (name == nullptr || *name == '\0') {
      HANDLE handle = Register(detail::MakeLocalMutex(initialOwner));
      SetLastError(ERROR_SUCCESS);
      return handle;
    }
    detail::NamedObject named = detail::OpenNamedMutex(name, initialOwner);
    HANDLE handle = Register(std::move(named.object));
    SetLastError(named.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  });
}

namespace detail {

HANDLE CreateNamedMutexNotingDeadOwner(const char* name, bool* ownerDied) {
  *ownerDied = false;
  return AtEdge<HANDLE>(nullptr, [&] {
    if (name == nullptr || *name == '\0') {
      ThrowError(ERROR_INVALID_PARAMETER);
    }
    detail::NamedObject named = detail::OpenNamedMutex(name, false);
    HANDLE handle = Register(std::move(named.object));
    *ownerDied = named.ownerDied;
    SetLastError(named.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
  });
}

}  // namespace detail

bool ReleaseMutex(HANDLE mutex) {
  return AtEdge(false, [&] {
    if (!As<MutexObject>(Handles().Find(mutex)).Release()) {
      ThrowError(ERROR_NOT_OWNER);
    }
    return true;
  });
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &object, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, bool waitAll, DWORD milliseconds) {
  return AtEdge(WAIT_FAILED, [&] {
    const Clock::time_point start = Clock::now();
    if (objects == nullptr || count == 0 || count > MAXIMUM_WAIT_OBJECTS) {
      ThrowError(ERROR_INVALID_PARAMETER);
    }
    std::vector<ObjectPtr> held;
    held.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
      held.push_back(Handles().Find(objects[i]));
    }
    return waitAll ? WaitAll(held, start, milliseconds) : WaitAny(held, start, milliseconds);
  });
}

bool CloseHandle(HANDLE object) {
  return AtEdge(false, [&] {
    Handles().Remove(object);  // the object ends with its last reference
    return true;
  });
}

int PollDescriptor(HANDLE object) {
  return AtEdge(-1, [&] {
    const ObjectPtr found = Handles().Find(object);
    return dynamic_cast<EventObject*>(found.get()) != nullptr ? found->WaitDescriptor() : -1;
  });
}

}  // namespace platform
