// The PC/SC library loaded at run time, with the direct-share exclusivity
// that pcsc-lite lacks (the same machine-wide lock the platform layer
// takes, so the plug-in and the connector service see each other).
#include "brixon/LoadLibraries.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <string>

#include "brixon/Error.h"
#include "platform/DirectShareLock.h"
#include "platform/Sync.h"

namespace qvx::brixon {

struct CLoadLibraries::Entries {
  ::LONG (*establishContext)(::DWORD, ::LPCVOID, ::LPCVOID, ::LPSCARDCONTEXT) = nullptr;
  ::LONG (*releaseContext)(::SCARDCONTEXT) = nullptr;
  ::LONG (*listReaders)(::SCARDCONTEXT, ::LPCSTR, ::LPSTR, ::LPDWORD) = nullptr;
  ::LONG (*connect)(::SCARDCONTEXT, ::LPCSTR, ::DWORD, ::DWORD, ::LPSCARDHANDLE, ::LPDWORD) = nullptr;
  ::LONG (*control)(::SCARDHANDLE, ::DWORD, ::LPCVOID, ::DWORD, ::LPVOID, ::DWORD, ::LPDWORD) = nullptr;
  ::LONG (*disconnect)(::SCARDHANDLE, ::DWORD) = nullptr;
  ::LONG (*freeMemory)(::SCARDCONTEXT, ::LPCVOID) = nullptr;
};

// Direct-share locks held per open card handle.
struct CLoadLibraries::Locks {
  std::mutex mutex;
  std::map<::SCARDHANDLE, platform::HANDLE> held;
};

namespace {

template <typename Function>
void Resolve(void* library, const char* name, Function& entry) {
  void* address = ::dlsym(library, name);
  if (address == nullptr) {
    throw CError("CLoadLibraries::CLoadLibraries()",
                 std::string("GetProcAddress(") + name + ") failed.", platform::ERROR_GEN_FAILURE);
  }
  entry = reinterpret_cast<Function>(address);
}

void Unlock(platform::HANDLE mutex) { platform::ReleaseDirectShareLock(mutex); }

}  // namespace

CLoadLibraries::CLoadLibraries(bool pcscPath) : m_entries(new Entries), m_locks(new Locks) {
  if (!pcscPath) return;
  try {
    m_library = ::dlopen(kPcscLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (m_library == nullptr) {
      throw CError("CLoadLibraries::CLoadLibraries()",
                   std::string("LoadLibrary(") + kPcscLibraryName + ") failed.",
                   platform::ERROR_FILE_NOT_FOUND);
    }
    // pcsc-lite's names: it has no A/W variants.
    Resolve(m_library, "SCardEstablishContext", m_entries->establishContext);
    Resolve(m_library, "SCardReleaseContext", m_entries->releaseContext);
    Resolve(m_library, "SCardListReaders", m_entries->listReaders);
    Resolve(m_library, "SCardConnect", m_entries->connect);
    Resolve(m_library, "SCardControl", m_entries->control);
    Resolve(m_library, "SCardDisconnect", m_entries->disconnect);
    Resolve(m_library, "SCardFreeMemory", m_entries->freeMemory);
  } catch (...) {
    if (m_library != nullptr) ::dlclose(m_library);
    delete m_entries;
    delete m_locks;
    throw;
  }
}

CLoadLibraries::~CLoadLibraries() {
  for (const auto& held : m_locks->held) Unlock(held.second);
  delete m_locks;
  delete m_entries;
  // The library stays mapped: pcsc-lite keeps process-wide state (its
  // context map and a cleanup at exit) that must not lose its code.
}

::LONG CLoadLibraries::EstablishContext(::DWORD scope, ::LPCVOID reserved1, ::LPCVOID reserved2,
                                        ::LPSCARDCONTEXT context) {
  if (m_entries->establishContext == nullptr) return SCARD_E_NO_SERVICE;
  return m_entries->establishContext(scope, reserved1, reserved2, context);
}

::LONG CLoadLibraries::ReleaseContext(::SCARDCONTEXT context) {
  if (m_entries->releaseContext == nullptr) return SCARD_E_NO_SERVICE;
  return m_entries->releaseContext(context);
}

::LONG CLoadLibraries::ListReaders(::SCARDCONTEXT context, ::LPCSTR groups, ::LPSTR readers,
                                   ::LPDWORD readersLength) {
  if (m_entries->listReaders == nullptr) return SCARD_E_NO_SERVICE;
  return m_entries->listReaders(context, groups, readers, readersLength);
}

::LONG CLoadLibraries::FreeMemory(::SCARDCONTEXT context, ::LPCVOID memory) {
  if (m_entries->freeMemory == nullptr) return SCARD_E_NO_SERVICE;
  return m_entries->freeMemory(context, memory);
}

::LONG CLoadLibraries::Connect(::SCARDCONTEXT context, ::LPCSTR reader, ::DWORD shareMode,
                               ::DWORD preferredProtocols, ::LPSCARDHANDLE card,
                               ::LPDWORD activeProtocol) {
  if (m_entries->connect == nullptr) return SCARD_E_NO_SERVICE;
  if (shareMode != SCARD_SHARE_DIRECT || reader == nullptr) {
    return m_entries->connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
  }
  // A holder that died holding the lock has its pending request cancelled
  // before this connection queues behind it.
  ::LONG failure = SCARD_S_SUCCESS;
  platform::HANDLE mutex = platform::TakeDirectShareLock(reader, &failure);
  if (mutex == nullptr) return failure;
  const ::LONG result =
      m_entries->connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
  if (result != SCARD_S_SUCCESS) {
    Unlock(mutex);
    return result;
  }
  std::lock_guard<std::mutex> lock(m_locks->mutex);
  m_locks->held[*card] = mutex;
  return result;
}

::LONG CLoadLibraries::Disconnect(::SCARDHANDLE card, ::DWORD disposition) {
  if (m_entries->disconnect == nullptr) return SCARD_E_NO_SERVICE;
  const ::LONG result = m_entries->disconnect(card, disposition);
  // The connection is gone or unusable either way: free the reader.
  platform::HANDLE mutex = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_locks->mutex);
    const auto held = m_locks->held.find(card);
    if (held != m_locks->held.end()) {
      mutex = held->second;
      m_locks->held.erase(held);
    }
  }
  if (mutex != nullptr) Unlock(mutex);
  return result;
}

::LONG CLoadLibraries::Control(::SCARDHANDLE card, ::DWORD controlCode, ::LPCVOID sendBuffer,
                               ::DWORD sendLength, ::LPVOID receiveBuffer, ::DWORD receiveLength,
                               ::LPDWORD bytesReturned) {
  if (m_entries->control == nullptr) return SCARD_E_NO_SERVICE;
  return m_entries->control(card, controlCode, sendBuffer, sendLength, receiveBuffer,
                            receiveLength, bytesReturned);
}

}  // namespace qvx::brixon
