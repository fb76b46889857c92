#include "brixon/SystemCS.h"

#include <algorithm>

#include "brixon/Error.h"
#include "brixon/Signal.h"

namespace qvx::brixon {

namespace {
constexpr const char* kLabel = "CSystemCS::CSystemCS()";
}  // namespace

CSystemCS::CSystemCS(const std::string& name, CSignal* contention, platform::DWORD limitMs)
    : m_name(name) {
  m_mutex = CreateMutex(nullptr, false, name.c_str());
  if (m_mutex == nullptr) {
    throw CError(kLabel, "CreateMutex(nullptr, " + name + ") failed.", GetLastError());
  }
  platform::DWORD result = WAIT_FAILED;
  platform::DWORD error = 0;
  try {
    const platform::DWORD first = std::min(kContentionMs, limitMs);
    result = WaitForSingleObject(m_mutex, first);
    if (result == WAIT_TIMEOUT && limitMs > first) {
      // Still held: make the driver end the holder's device operation.
      if (contention != nullptr) contention->Signal();
      result = WaitForSingleObject(m_mutex, limitMs - first);
    }
    error = GetLastError();
  } catch (...) {
    CloseHandle(m_mutex);
    throw;
  }
  if (result == WAIT_OBJECT_0) return;
  if (result == WAIT_ABANDONED) {
    // The holder ended without releasing. Refusing now would hand the
    // abandoned state on to the next process, and so on for ever: take it.
    // The driver may still be running the dead holder's request; have it
    // ended, or this one would wait for the device to give up on it.
    m_abandoned = true;
    if (contention != nullptr) contention->Signal();
    CError(kLabel, "WaitForSingleObject(" + name + ") found the mutex abandoned; taken over.", 0,
           LEVEL_DEBUG);
    return;
  }
  CloseHandle(m_mutex);
  m_mutex = nullptr;
  if (result == WAIT_TIMEOUT) {
    throw CError(kLabel, "Timeout while trying to get exclusive access to the Quorvex2.",
                 WAIT_TIMEOUT, LEVEL_ERROR, kStatusCommunicationError, "Driver/QVX");
  }
  throw CError(kLabel, "WaitForSingleObject(" + name + ") failed.", error);
}

CSystemCS::~CSystemCS() {
  try {
    if (!ReleaseMutex(m_mutex)) {
      CError("CSystemCS::~CSystemCS()", "ReleaseMutex(" + m_name + ") failed.", GetLastError());
    }
    if (!CloseHandle(m_mutex)) {
      CError("CSystemCS::~CSystemCS()", "CloseHandle(" + m_name + ") failed.", GetLastError());
    }
  } catch (...) {
    // Only the log line was lost.
  }
}

}  // namespace qvx::brixon
