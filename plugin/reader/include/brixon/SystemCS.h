// CSystemCS and CProcessCS: exclusive access across processes (a named
// mutex) and inside one process (a critical section), as scopes.
#pragma once

#include <mutex>
#include <string>

#include "platform/Sync.h"

namespace qvx::brixon {

class CSignal;

// The device's machine-wide mutex (fixed prefix and GUID).
constexpr const char* kDeviceMutexName =
    "Global\\BRIXON_Device_{9B41E0C6-2F7D-4A83-8C5E-D13A6F20B947}";
// How long a newcomer waits before it asks the holder to give way, and in all.
constexpr platform::DWORD kContentionMs = 200;
constexpr platform::DWORD kExclusiveAccessMs = 2000;

class CSystemCS {
 public:
  // Takes the named mutex. When it is still held after kContentionMs, sets
  // `contention` (if given: the reader's cancel signal, so the driver ends
  // the holder's device operation) and waits for the rest of `limitMs`.
  // Raises "Timeout while trying to get exclusive access to the Quorvex2."
  // (status 1, origin "Driver/QVX") at the limit, "CreateMutex(nullptr, <name>)
  // failed." or "WaitForSingleObject(<name>) failed.". A mutex left by a
  // holder that died is taken (and the fact logged): the device must not
  // stay locked for good.
  explicit CSystemCS(const std::string& name = kDeviceMutexName, CSignal* contention = nullptr,
                     platform::DWORD limitMs = kExclusiveAccessMs);
  ~CSystemCS();  // releases and closes; failures are logged
  CSystemCS(const CSystemCS&) = delete;
  CSystemCS& operator=(const CSystemCS&) = delete;

  bool WasAbandoned() const { return m_abandoned; }

 private:
  std::string m_name;
  platform::HANDLE m_mutex = nullptr;
  bool m_abandoned = false;
};

// An in-process critical section and its scope.
class CCriticalSection {
 public:
  std::mutex& Mutex() { return m_mutex; }

 private:
  std::mutex m_mutex;
};

class CProcessCS {
 public:
  explicit CProcessCS(CCriticalSection& section) : m_lock(section.Mutex()) {}

 private:
  std::lock_guard<std::mutex> m_lock;
};

// Security attributes for named objects: generic-all access for everyone,
// so other users' sessions and the connector service can open them. On
// Linux every named object of the platform layer is created that way; the
// descriptor is kept for the record.
class CSecurityAttributes {
 public:
  static constexpr const char* kEveryoneGenericAll = "D:(A;;GA;;;WD)";
  explicit CSecurityAttributes(int inheritHandle = 0) : m_inherit(inheritHandle != 0) {}
  const char* GetDescriptor() const { return kEveryoneGenericAll; }
  bool Inherits() const { return m_inherit; }

 private:
  bool m_inherit;
};

}  // namespace qvx::brixon
