// The objects behind a HANDLE. Every kind can be taken without blocking and
// names a descriptor to poll while it is not available, so one wait loop
// serves any mix of in-process and named objects.
#pragma once

#include <memory>

#include "platform/Sync.h"

namespace platform {

enum class TakeResult { Taken, Abandoned, Busy };

struct KernelObject {
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;

  // One attempt: a signalled event is taken (an automatic-reset one is
  // reset), a free mutex becomes owned by this handle. Raises PlatformError.
  virtual TakeResult TryTake() = 0;
  // Gives back what TryTake took (a wait for all objects that timed out).
  virtual void Untake() = 0;
  // Readable while a TryTake might succeed; -1 when the waiter has to retry
  // on its own schedule.
  virtual int WaitDescriptor() const = 0;
};

namespace detail {

class EventObject : public KernelObject {
 public:
  virtual void Set() = 0;
  virtual void Reset() = 0;
};

class MutexObject : public KernelObject {
 public:
  // False when this handle does not own the mutex.
  virtual bool Release() = 0;
};

struct NamedObject {
  std::shared_ptr<KernelObject> object;
  bool existed;
  // A mutex made afresh whose previous incarnation ended owned: its last
  // owner died (or closed its handle) without releasing it.
  bool ownerDied = false;
};

std::shared_ptr<KernelObject> MakeLocalEvent(bool manualReset, bool initialState);
std::shared_ptr<KernelObject> MakeLocalMutex(bool initialOwner);

// `create` false opens an existing object only (ERROR_FILE_NOT_FOUND).
NamedObject OpenNamedEvent(const std::string& name, bool create, bool manualReset,
                           bool initialState);
NamedObject OpenNamedMutex(const std::string& name, bool initialOwner);

// The handle table, for kinds made outside Sync.cpp. Find raises
// ERROR_INVALID_HANDLE for a handle it does not know.
HANDLE RegisterObject(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindObject(HANDLE handle);

// CreateMutex for a named mutex, also telling whether it was made afresh
// after an owner that never released it (see NamedObject::ownerDied).
HANDLE CreateNamedMutexNotingDeadOwner(const char* name, bool* ownerDied);

}  // namespace detail
}  // namespace platform
