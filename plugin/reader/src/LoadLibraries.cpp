// The PC/SC library loaded at run time: its entry points, resolved once.
#include "brixon/LoadLibraries.h"

#include <string>

#include "brixon/Error.h"
#include "platform/System.h"

namespace qvx::brixon {

struct CLoadLibraries::Entries {
  ::LONG (*establishContext)(::DWORD, ::LPCVOID, ::LPCVOID, ::LPSCARDCONTEXT) = nullptr;
  ::LONG (*releaseContext)(::SCARDCONTEXT) = nullptr;
  ::LONG (*listReaders)(::SCARDCONTEXT, ::LPCSTR, ::LPSTR, ::LPDWORD) = nullptr;
  ::LONG (*connect)(::SCARDCONTEXT, ::LPCSTR, ::DWORD, ::DWORD, ::LPSCARDHANDLE,
                    ::LPDWORD) = nullptr;
  ::LONG (*control)(::SCARDHANDLE, ::DWORD, ::LPCVOID, ::DWORD, ::LPVOID, ::DWORD,
                    ::LPDWORD) = nullptr;
  ::LONG (*disconnect)(::SCARDHANDLE, ::DWORD) = nullptr;
  ::LONG (*freeMemory)(::SCARDCONTEXT, ::LPCVOID) = nullptr;
};

namespace {

template <typename Function>
void Resolve(platform::HMODULE library, const char* name, Function& entry) {
  const platform::FARPROC address = platform::GetProcAddress(library, name);
  if (address == nullptr) {
    throw CError("CLoadLibraries::CLoadLibraries()",
                 std::string("GetProcAddress(") + name + ") failed.", platform::ERROR_GEN_FAILURE);
  }
  entry = reinterpret_cast<Function>(address);
}

}  // namespace

CLoadLibraries::CLoadLibraries(bool pcscPath) : m_entries(std::make_unique<Entries>()) {
  if (!pcscPath) return;
  m_library = platform::LoadLibrary(kPcscLibraryName);
  if (m_library == nullptr) {
    throw CError("CLoadLibraries::CLoadLibraries()",
                 std::string("LoadLibrary(") + kPcscLibraryName + ") failed.",
                 platform::ERROR_FILE_NOT_FOUND);
  }
  try {
    // pcsc-lite's names: it has no A/W variants.
    Resolve(m_library, "SCardEstablishContext", m_entries->establishContext);
    Resolve(m_library, "SCardReleaseContext", m_entries->releaseContext);
    Resolve(m_library, "SCardListReaders", m_entries->listReaders);
    Resolve(m_library, "SCardConnect", m_entries->connect);
    Resolve(m_library, "SCardControl", m_entries->control);
    Resolve(m_library, "SCardDisconnect", m_entries->disconnect);
    Resolve(m_library, "SCardFreeMemory", m_entries->freeMemory);
  } catch (...) {
    platform::FreeLibrary(m_library);
    throw;
  }
}

// The library stays mapped: pcsc-lite keeps process-wide state (its context
// map and a cleanup at exit) that must not lose its code.
CLoadLibraries::~CLoadLibraries() = default;

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
  return m_entries->connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
}

::LONG CLoadLibraries::Disconnect(::SCARDHANDLE card, ::DWORD disposition) {
  if (m_entries->disconnect == nullptr) return SCARD_E_NO_SERVICE;
  return m_entries->disconnect(card, disposition);
}

::LONG CLoadLibraries::Control(::SCARDHANDLE card, ::DWORD controlCode, ::LPCVOID sendBuffer,
                               ::DWORD sendLength, ::LPVOID receiveBuffer, ::DWORD receiveLength,
                               ::LPDWORD bytesReturned) {
  if (m_entries->control == nullptr) return SCARD_E_NO_SERVICE;
  return m_entries->control(card, controlCode, sendBuffer, sendLength, receiveBuffer, receiveLength,
                            bytesReturned);
}

}  // namespace qvx::brixon
