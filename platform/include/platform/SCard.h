// The one seam through which every SCard* call passes.
//
// The methods mirror the WinSCard calls of the same name (same arguments,
// same result codes), so code over the seam reads like plain PC/SC. Types are
// WinSCard's own (spelled ::DWORD so platform::DWORD never stands in). Two
// implementations: SystemSCard() over the system's PC/SC and the scriptable fake in
// testing/fakes/scard for unit tests.
#pragma once

#include "platform/os/WinSCard.h"

namespace platform {

class ISCard {
 public:
  virtual ~ISCard() = default;

  virtual ::LONG EstablishContext(::DWORD scope, ::LPCVOID reserved1, ::LPCVOID reserved2,
                                  ::LPSCARDCONTEXT context) = 0;
  virtual ::LONG ReleaseContext(::SCARDCONTEXT context) = 0;
  // Supports SCARD_AUTOALLOCATE (readers is then a char** in disguise, freed
  // with FreeMemory), as pcsc-lite does.
  virtual ::LONG ListReaders(::SCARDCONTEXT context, ::LPCSTR groups, ::LPSTR readers,
                             ::LPDWORD readersLength) = 0;
  virtual ::LONG FreeMemory(::SCARDCONTEXT context, ::LPCVOID memory) = 0;
  virtual ::LONG Connect(::SCARDCONTEXT context, ::LPCSTR reader, ::DWORD shareMode,
                         ::DWORD preferredProtocols, ::LPSCARDHANDLE card,
                         ::LPDWORD activeProtocol) = 0;
  virtual ::LONG Disconnect(::SCARDHANDLE card, ::DWORD disposition) = 0;
  virtual ::LONG Control(::SCARDHANDLE card, ::DWORD controlCode, ::LPCVOID sendBuffer,
                         ::DWORD sendLength, ::LPVOID receiveBuffer, ::DWORD receiveLength,
                         ::LPDWORD bytesReturned) = 0;
};

// libpcsclite, with the exclusivity of SCARD_SHARE_DIRECT that Windows has:
// a direct connection holds a machine-wide lock per reader (a named mutex,
// released by the system if its holder dies); while another connection
// holds it, Connect answers SCARD_E_SHARING_VIOLATION without asking pcscd.
ISCard& SystemSCard();

}  // namespace platform
