// CLoadLibraries: the PC/SC library loaded at run time (libpcsclite stands
// in for "WinSCard.dll"), offered as the platform's SCard seam so that
// tests can put a fake in its place. A plain table of the resolved entry
// points: the direct-share exclusivity is platform::CDirectShareSCard's.
#pragma once

#include <memory>

#include "platform/Module.h"
#include "platform/SCard.h"

namespace qvx::brixon {

constexpr const char* kPcscLibraryName = "libpcsclite.so.1";

class CLoadLibraries : public platform::ISCard {
 public:
  // On the PC/SC path loads the library and resolves its entry points;
  // raises "LoadLibrary(<name>) failed." or "GetProcAddress(<entry>)
  // failed.". On the direct path nothing is loaded and every call answers
  // SCARD_E_NO_SERVICE.
  explicit CLoadLibraries(bool pcscPath = true);
  ~CLoadLibraries() override;
  CLoadLibraries(const CLoadLibraries&) = delete;
  CLoadLibraries& operator=(const CLoadLibraries&) = delete;

  ::LONG EstablishContext(::DWORD scope, ::LPCVOID reserved1, ::LPCVOID reserved2,
                          ::LPSCARDCONTEXT context) override;
  ::LONG ReleaseContext(::SCARDCONTEXT context) override;
  ::LONG ListReaders(::SCARDCONTEXT context, ::LPCSTR groups, ::LPSTR readers,
                     ::LPDWORD readersLength) override;
  ::LONG FreeMemory(::SCARDCONTEXT context, ::LPCVOID memory) override;
  ::LONG Connect(::SCARDCONTEXT context, ::LPCSTR reader, ::DWORD shareMode,
                 ::DWORD preferredProtocols, ::LPSCARDHANDLE card,
                 ::LPDWORD activeProtocol) override;
  ::LONG Disconnect(::SCARDHANDLE card, ::DWORD disposition) override;
  ::LONG Control(::SCARDHANDLE card, ::DWORD controlCode, ::LPCVOID sendBuffer, ::DWORD sendLength,
                 ::LPVOID receiveBuffer, ::DWORD receiveLength, ::LPDWORD bytesReturned) override;

 private:
  struct Entries;
  platform::HMODULE m_library = nullptr;
  std::unique_ptr<Entries> m_entries;
};

}  // namespace qvx::brixon
