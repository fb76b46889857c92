#include "ShareLock.h"

#include <winscard.h>

#include <vector>

namespace qvx::testing::scard {

namespace {

constexpr int kSharedSlots = 16;

// Every account may take the reader, as every account may connect to it.
HANDLE OpenMutex(const std::string& name) {
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  return CreateMutexA(&attributes, FALSE, ("Global\\" + name).c_str());
}

// Takes the mutex without waiting: 1 taken, 2 taken from a dead holder,
// 0 held by someone else.
int Take(HANDLE mutex) {
  const DWORD woke = WaitForSingleObject(mutex, 0);
  if (woke == WAIT_OBJECT_0) return 1;
  if (woke == WAIT_ABANDONED) return 2;
  return 0;
}

// Who holds each reader exclusively, so that a newcomer can tell a holder
// that died: its mutex goes with its last handle, often before anyone
// could find it abandoned, but its record stays.
constexpr char kHoldersKey[] = "SOFTWARE\\QvxTestSmartCardService\\Holders";

// Records this process as the reader's holder; true when a record of an
// earlier holder was left.
bool RecordHolder(const std::string& reader) {
  HKEY holders = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHoldersKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                      &holders, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool left = RegQueryValueExA(holders, reader.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
  const DWORD process = GetCurrentProcessId();
  RegSetValueExA(holders, reader.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&process),
                 sizeof process);
  RegCloseKey(holders);
  return left;
}

void ForgetHolder(const std::string& reader) {
  HKEY holders = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHoldersKey, 0, KEY_WRITE, &holders) == ERROR_SUCCESS) {
    RegDeleteValueA(holders, reader.c_str());
    RegCloseKey(holders);
  }
}

}  // namespace

CShareLock::CShareLock(const std::string& reader, DWORD shareMode) {
  m_decided = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  m_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (m_decided == nullptr || m_release == nullptr) {
    m_result = static_cast<LONG>(SCARD_E_NO_MEMORY);
    return;
  }
  m_holder = std::thread(&CShareLock::Hold, this, reader, shareMode);
  WaitForSingleObject(m_decided, INFINITE);
}

CShareLock::~CShareLock() {
  if (m_holder.joinable()) {
    SetEvent(m_release);
    m_holder.join();
  }
  if (m_decided != nullptr) CloseHandle(m_decided);
  if (m_release != nullptr) CloseHandle(m_release);
}

void CShareLock::Hold(std::string reader, DWORD shareMode) {
  std::vector<HANDLE> owned;
  std::vector<HANDLE> opened;
  const auto open = [&](const std::string& name) {
    HANDLE mutex = OpenMutex(reader + name);
    if (mutex != nullptr) opened.push_back(mutex);
    return mutex;
  };
  LONG result = SCARD_S_SUCCESS;
  HANDLE exclusive = open("_scard_exclusive");
  const int taken = exclusive != nullptr ? Take(exclusive) : 0;
  if (exclusive == nullptr) {
    result = static_cast<LONG>(SCARD_F_INTERNAL_ERROR);
  } else if (taken == 0) {
    result = static_cast<LONG>(SCARD_E_SHARING_VIOLATION);
  } else {
    m_abandoned = taken == 2;
    owned.push_back(exclusive);
    const bool shared = shareMode == SCARD_SHARE_SHARED;
    bool slotHeld = false;
    for (int slot = 0; slot < kSharedSlots && result == SCARD_S_SUCCESS && !slotHeld; ++slot) {
      HANDLE mutex = open("_scard_shared_" + std::to_string(slot));
      const int got = mutex != nullptr ? Take(mutex) : 0;
      if (got == 0) {
        // A shared holder keeps an exclusive connection out.
        if (!shared) result = static_cast<LONG>(SCARD_E_SHARING_VIOLATION);
        continue;
      }
      if (shared) {
        owned.push_back(mutex);
        slotHeld = true;
      } else {
        ReleaseMutex(mutex);
      }
    }
    if (shared && !slotHeld && result == SCARD_S_SUCCESS) {
      result = static_cast<LONG>(SCARD_E_SHARING_VIOLATION);
    }
    // A shared connection lets others share: it keeps only its slot.
    if (shared || result != SCARD_S_SUCCESS) {
      ReleaseMutex(exclusive);
      owned.erase(owned.begin());
    }
  }
  const bool holds = result == SCARD_S_SUCCESS && shareMode != SCARD_SHARE_SHARED;
  if (holds && RecordHolder(reader)) m_abandoned = true;
  m_result = result;
  SetEvent(m_decided);
  if (result == SCARD_S_SUCCESS) WaitForSingleObject(m_release, INFINITE);
  if (holds) ForgetHolder(reader);
  for (HANDLE mutex : owned) ReleaseMutex(mutex);
  for (HANDLE mutex : opened) CloseHandle(mutex);
}

}  // namespace qvx::testing::scard
