// The context, reader-list and status-change calls of the test winscard.dll.
#include <cstdlib>

#include "HandleTable.h"
#include "ReaderDevices.h"
#include "StatusChange.h"
#include "winscard/Buffers.h"

using namespace qvx::testing::scard;  // NOLINT: the exports stay in the global namespace
using qvx::testing::winscard::CopyOut;
using qvx::testing::winscard::Narrow;
using qvx::testing::winscard::Wide;

namespace {

LONG Failure(DWORD code) { return static_cast<LONG>(code); }

std::string Same(const std::string& text) { return text; }
std::string Same(const char* text) { return text != nullptr ? text : ""; }

template <typename Element>
LONG ListReaders(SCARDCONTEXT hContext, Element* readers, LPDWORD length,
                 std::basic_string<Element> (*convert)(const std::string&)) {
  if (!Handles().FindContext(hContext)) return Failure(SCARD_E_INVALID_HANDLE);
  std::string names;
  for (const ReaderDevice& reader : FindReaders()) {
    KeepCancelEvent(reader.name);
    names += reader.name + '\0';
  }
  if (names.empty()) return Failure(SCARD_E_NO_READERS_AVAILABLE);
  names += '\0';
  return CopyOut(convert(names), readers, length);
}

template <typename State>
LONG GetStatusChange(SCARDCONTEXT hContext, DWORD dwTimeout, State* states, DWORD count,
                     std::string (*narrow)(decltype(State::szReader))) {
  const std::shared_ptr<CContext> context = Handles().FindContext(hContext);
  if (!context) return Failure(SCARD_E_INVALID_HANDLE);
  if (count > 0 && states == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  std::vector<WatchedReader> watched(count);
  for (DWORD i = 0; i < count; ++i) {
    if (states[i].szReader == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
    watched[i].name = narrow(states[i].szReader);
    watched[i].current = states[i].dwCurrentState;
    watched[i].event = states[i].dwCurrentState;
  }
  const LONG result = WaitForStatusChange(*context, dwTimeout, &watched);
  for (DWORD i = 0; i < count; ++i) {
    states[i].dwEventState = watched[i].event;
    states[i].cbAtr = 0;
  }
  return result;
}

}  // namespace

LONG WINAPI SCardEstablishContext(DWORD dwScope, LPCVOID /*pvReserved1*/, LPCVOID /*pvReserved2*/,
                                  LPSCARDCONTEXT phContext) {
  if (phContext == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  if (dwScope != SCARD_SCOPE_USER && dwScope != SCARD_SCOPE_SYSTEM) {
    return Failure(SCARD_E_INVALID_VALUE);
  }
  *phContext = Handles().AddContext();
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT hContext) {
  return Handles().RemoveContext(hContext) ? SCARD_S_SUCCESS : Failure(SCARD_E_INVALID_HANDLE);
}

LONG WINAPI SCardIsValidContext(SCARDCONTEXT hContext) {
  return Handles().FindContext(hContext) ? SCARD_S_SUCCESS : Failure(SCARD_E_INVALID_HANDLE);
}

LONG WINAPI SCardListReadersA(SCARDCONTEXT hContext, LPCSTR /*mszGroups*/, LPSTR mszReaders,
                              LPDWORD pcchReaders) {
  return ListReaders<char>(hContext, mszReaders, pcchReaders, &Same);
}

LONG WINAPI SCardListReadersW(SCARDCONTEXT hContext, LPCWSTR /*mszGroups*/, LPWSTR mszReaders,
                              LPDWORD pcchReaders) {
  return ListReaders<wchar_t>(hContext, mszReaders, pcchReaders, &Wide);
}

LONG WINAPI SCardFreeMemory(SCARDCONTEXT /*hContext*/, LPCVOID pvMem) {
  // Every block the DLL hands out comes from malloc (winscard/Buffers.h).
  std::free(const_cast<void*>(pvMem));
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardCancel(SCARDCONTEXT hContext) {
  const std::shared_ptr<CContext> context = Handles().FindContext(hContext);
  if (!context) return Failure(SCARD_E_INVALID_HANDLE);
  context->Cancel();
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardGetStatusChangeA(SCARDCONTEXT hContext, DWORD dwTimeout,
                                  LPSCARD_READERSTATEA rgReaderStates, DWORD cReaders) {
  return GetStatusChange(hContext, dwTimeout, rgReaderStates, cReaders, &Same);
}

LONG WINAPI SCardGetStatusChangeW(SCARDCONTEXT hContext, DWORD dwTimeout,
                                  LPSCARD_READERSTATEW rgReaderStates, DWORD cReaders) {
  return GetStatusChange(hContext, dwTimeout, rgReaderStates, cReaders, &Narrow);
}
