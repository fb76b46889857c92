// ISCard over a table of the PC/SC entry points: the library linked in, or
// one loaded at run time. An entry left empty answers SCARD_E_NO_SERVICE.
#pragma once

#include "platform/PcscResults.h"
#include "platform/SCard.h"
#include "platform/WinTypes.h"  // WINAPI

namespace platform {

struct SCardTable {
  ::LONG(WINAPI* establishContext)(::DWORD, ::LPCVOID, ::LPCVOID, ::LPSCARDCONTEXT) = nullptr;
  ::LONG(WINAPI* releaseContext)(::SCARDCONTEXT) = nullptr;
  ::LONG(WINAPI* listReaders)(::SCARDCONTEXT, ::LPCSTR, ::LPSTR, ::LPDWORD) = nullptr;
  ::LONG(WINAPI* freeMemory)(::SCARDCONTEXT, ::LPCVOID) = nullptr;
  ::LONG(WINAPI* connect)(::SCARDCONTEXT, ::LPCSTR, ::DWORD, ::DWORD, ::LPSCARDHANDLE,
                          ::LPDWORD) = nullptr;
  ::LONG(WINAPI* disconnect)(::SCARDHANDLE, ::DWORD) = nullptr;
  ::LONG(WINAPI* control)(::SCARDHANDLE, ::DWORD, ::LPCVOID, ::DWORD, ::LPVOID, ::DWORD,
                          ::LPDWORD) = nullptr;
};

class CSCardTable : public ISCard {
 public:
  explicit CSCardTable(const SCardTable& table = SCardTable()) : m_table(table) {}

  ::LONG EstablishContext(::DWORD scope, ::LPCVOID reserved1, ::LPCVOID reserved2,
                          ::LPSCARDCONTEXT context) override {
    return Call(m_table.establishContext, scope, reserved1, reserved2, context);
  }
  ::LONG ReleaseContext(::SCARDCONTEXT context) override {
    return Call(m_table.releaseContext, context);
  }
  ::LONG ListReaders(::SCARDCONTEXT context, ::LPCSTR groups, ::LPSTR readers,
                     ::LPDWORD readersLength) override {
    return Call(m_table.listReaders, context, groups, readers, readersLength);
  }
  ::LONG FreeMemory(::SCARDCONTEXT context, ::LPCVOID memory) override {
    return Call(m_table.freeMemory, context, memory);
  }
  ::LONG Connect(::SCARDCONTEXT context, ::LPCSTR reader, ::DWORD shareMode,
                 ::DWORD preferredProtocols, ::LPSCARDHANDLE card,
                 ::LPDWORD activeProtocol) override {
    return Call(m_table.connect, context, reader, shareMode, preferredProtocols, card,
                activeProtocol);
  }
  ::LONG Disconnect(::SCARDHANDLE card, ::DWORD disposition) override {
    return Call(m_table.disconnect, card, disposition);
  }
  ::LONG Control(::SCARDHANDLE card, ::DWORD controlCode, ::LPCVOID sendBuffer, ::DWORD sendLength,
                 ::LPVOID receiveBuffer, ::DWORD receiveLength, ::LPDWORD bytesReturned) override {
    return Call(m_table.control, card, controlCode, sendBuffer, sendLength, receiveBuffer,
                receiveLength, bytesReturned);
  }

 protected:
  // For a table filled in after construction (entries resolved one by one).
  SCardTable& Table() { return m_table; }

 private:
  template <typename Entry, typename... Arguments>
  static ::LONG Call(Entry entry, Arguments... arguments) {
    return entry != nullptr ? entry(arguments...) : pcsc_result::kNoService;
  }

  SCardTable m_table;
};

}  // namespace platform
