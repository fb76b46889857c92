// The context and reader-list calls of winscard.dll.
#include <cstdlib>

#include "Calls.h"
#include "winscard/Buffers.h"

using namespace qvx::testing::relay;  // NOLINT: the exports stay in the global namespace
using qvx::testing::winscard::CopyOut;
using qvx::testing::winscard::MultiString;
using qvx::testing::winscard::Narrow;
using qvx::testing::winscard::Wide;

namespace {

template <typename Element>
LONG ListReaders(SCARDCONTEXT hContext, Element* readers, LPDWORD length,
                 std::basic_string<Element> (*convert)(const std::string&)) {
  const std::shared_ptr<CContext> context = Handles().FindContext(hContext);
  if (!context) return Failure(SCARD_E_INVALID_HANDLE);
  wire::Bytes reply;
  const LONG result = context->Call(Request(wire::Op::ListReaders).U64(context->Remote()), &reply);
  if (result != SCARD_S_SUCCESS) return result;
  CReplyFields fields(reply);
  const wire::Bytes names = fields.Blob();
  if (!fields.Done()) return Failure(SCARD_F_COMM_ERROR);
  return CopyOut(convert(MultiString(names)), readers, length);
}

std::string Same(const std::string& text) { return text; }

}  // namespace

LONG WINAPI SCardEstablishContext(DWORD dwScope, LPCVOID /*pvReserved1*/, LPCVOID /*pvReserved2*/,
                                  LPSCARDCONTEXT phContext) {
  if (phContext == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  auto context = std::make_shared<CContext>();
  const LONG result = context->Establish(dwScope);
  if (result != SCARD_S_SUCCESS) return result;
  *phContext = Handles().AddContext(std::move(context));
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardReleaseContext(SCARDCONTEXT hContext) {
  std::vector<std::unique_ptr<CCancelBridge>> bridges;
  const std::shared_ptr<CContext> context = Handles().RemoveContext(hContext, &bridges);
  if (!context) return Failure(SCARD_E_INVALID_HANDLE);
  wire::Bytes reply;
  const LONG result =
      context->Call(Request(wire::Op::ReleaseContext).U64(context->Remote()), &reply);
  context->Close();
  return result;
}

LONG WINAPI SCardIsValidContext(SCARDCONTEXT hContext) {
  const std::shared_ptr<CContext> context = Handles().FindContext(hContext);
  if (!context) return Failure(SCARD_E_INVALID_HANDLE);
  wire::Bytes reply;
  return context->Call(Request(wire::Op::IsValidContext).U64(context->Remote()), &reply);
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

// No relayed call waits for card events (SCardGetStatusChange is not
// relayed), so there is never anything outstanding to end.
LONG WINAPI SCardCancel(SCARDCONTEXT hContext) {
  return Handles().FindContext(hContext) ? SCARD_S_SUCCESS : Failure(SCARD_E_INVALID_HANDLE);
}

LONG WINAPI SCardGetStatusChangeA(SCARDCONTEXT /*hContext*/, DWORD /*dwTimeout*/,
                                  LPSCARD_READERSTATEA /*rgReaderStates*/, DWORD /*cReaders*/) {
  return Failure(SCARD_E_UNSUPPORTED_FEATURE);
}

LONG WINAPI SCardGetStatusChangeW(SCARDCONTEXT /*hContext*/, DWORD /*dwTimeout*/,
                                  LPSCARD_READERSTATEW /*rgReaderStates*/, DWORD /*cReaders*/) {
  return Failure(SCARD_E_UNSUPPORTED_FEATURE);
}
