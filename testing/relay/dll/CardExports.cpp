// The card-handle calls of winscard.dll.
#include "Calls.h"
#include "winscard/Buffers.h"

using namespace qvx::testing::relay;  // NOLINT: the exports stay in the global namespace
using qvx::testing::winscard::CopyOut;
using qvx::testing::winscard::MultiString;
using qvx::testing::winscard::Narrow;
using qvx::testing::winscard::Wide;

// The protocol headers WinSCard exports as data (SCARD_PCI_T0 and friends).
extern "C" {
const SCARD_IO_REQUEST g_rgSCardT0Pci = {SCARD_PROTOCOL_T0, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardT1Pci = {SCARD_PROTOCOL_T1, sizeof(SCARD_IO_REQUEST)};
const SCARD_IO_REQUEST g_rgSCardRawPci = {SCARD_PROTOCOL_RAW, sizeof(SCARD_IO_REQUEST)};
}

namespace {

LONG Connect(SCARDCONTEXT hContext, const std::string& reader, DWORD dwShareMode,
             DWORD dwPreferredProtocols, LPSCARDHANDLE phCard, LPDWORD pdwActiveProtocol) {
  if (phCard == nullptr || pdwActiveProtocol == nullptr) {
    return Failure(SCARD_E_INVALID_PARAMETER);
  }
  const std::shared_ptr<CContext> context = Handles().FindContext(hContext);
  if (!context) return Failure(SCARD_E_INVALID_HANDLE);
  wire::Bytes reply;
  const LONG result = context->Call(Request(wire::Op::Connect)
                                        .U64(context->Remote())
                                        .Text(reader)
                                        .U32(dwShareMode)
                                        .U32(dwPreferredProtocols),
                                    &reply);
  if (result != SCARD_S_SUCCESS) return result;
  CReplyFields fields(reply);
  const std::uint64_t remote = fields.U64();
  const std::uint32_t protocol = fields.U32();
  if (!fields.Done()) return Failure(SCARD_F_COMM_ERROR);
  // The reader is this process's now: a cancel set by another Windows
  // process must reach the driver (the Linux side) as it would on Windows.
  std::unique_ptr<CCancelBridge> bridge;
  if (dwShareMode == SCARD_SHARE_DIRECT) bridge = std::make_unique<CCancelBridge>(reader);
  *phCard = Handles().AddCard(hContext, CardRef{context, remote}, std::move(bridge));
  *pdwActiveProtocol = protocol;
  return SCARD_S_SUCCESS;
}

// The call on the card's context, `addFields` writing the fields after the
// card; its result, or SCARD_E_INVALID_HANDLE for a card the DLL never gave.
template <typename AddFields>
LONG CallCard(SCARDHANDLE hCard, wire::Op op, wire::Bytes* reply, AddFields addFields) {
  const std::optional<CardRef> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  wire::Writer request = Request(op);
  request.U64(card->remote);
  addFields(request);
  return card->context->Call(request, reply);
}

LONG CallCard(SCARDHANDLE hCard, wire::Op op, wire::Bytes* reply) {
  return CallCard(hCard, op, reply, [](wire::Writer&) {});
}

template <typename Element>
LONG Status(SCARDHANDLE hCard, Element* names, LPDWORD namesLength, LPDWORD pdwState,
            LPDWORD pdwProtocol, LPBYTE pbAtr, LPDWORD pcbAtrLen,
            std::basic_string<Element> (*convert)(const std::string&)) {
  wire::Bytes reply;
  const LONG result = CallCard(hCard, wire::Op::Status, &reply);
  if (result != SCARD_S_SUCCESS) return result;
  CReplyFields fields(reply);
  const wire::Bytes readerNames = fields.Blob();
  const std::uint32_t state = fields.U32();
  const std::uint32_t protocol = fields.U32();
  const wire::Bytes atr = fields.Blob();
  if (!fields.Done()) return Failure(SCARD_F_COMM_ERROR);
  if (pdwState != nullptr) *pdwState = state;
  if (pdwProtocol != nullptr) *pdwProtocol = protocol;
  if (namesLength != nullptr) {
    const LONG copied = CopyOut(convert(MultiString(readerNames)), names, namesLength);
    if (copied != SCARD_S_SUCCESS) return copied;
  }
  if (pcbAtrLen != nullptr) {
    return CopyOut(std::basic_string<BYTE>(atr.begin(), atr.end()), pbAtr, pcbAtrLen);
  }
  return SCARD_S_SUCCESS;
}

std::string Same(const std::string& text) { return text; }

}  // namespace

LONG WINAPI SCardConnectA(SCARDCONTEXT hContext, LPCSTR szReader, DWORD dwShareMode,
                          DWORD dwPreferredProtocols, LPSCARDHANDLE phCard,
                          LPDWORD pdwActiveProtocol) {
  if (szReader == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  return Connect(hContext, szReader, dwShareMode, dwPreferredProtocols, phCard, pdwActiveProtocol);
}

LONG WINAPI SCardConnectW(SCARDCONTEXT hContext, LPCWSTR szReader, DWORD dwShareMode,
                          DWORD dwPreferredProtocols, LPSCARDHANDLE phCard,
                          LPDWORD pdwActiveProtocol) {
  if (szReader == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  return Connect(hContext, Narrow(szReader), dwShareMode, dwPreferredProtocols, phCard,
                 pdwActiveProtocol);
}

LONG WINAPI SCardReconnect(SCARDHANDLE /*hCard*/, DWORD /*dwShareMode*/,
                           DWORD /*dwPreferredProtocols*/, DWORD /*dwInitialization*/,
                           LPDWORD /*pdwActiveProtocol*/) {
  return Failure(SCARD_E_UNSUPPORTED_FEATURE);
}

LONG WINAPI SCardDisconnect(SCARDHANDLE hCard, DWORD dwDisposition) {
  wire::Bytes reply;
  const LONG result = CallCard(hCard, wire::Op::Disconnect, &reply,
                               [&](wire::Writer& request) { request.U32(dwDisposition); });
  // The handle is spent whatever the answer; the bridge stops here, after
  // the reader is free.
  Handles().RemoveCard(hCard);
  return result;
}

LONG WINAPI SCardStatusA(SCARDHANDLE hCard, LPSTR szReaderName, LPDWORD pcchReaderLen,
                         LPDWORD pdwState, LPDWORD pdwProtocol, LPBYTE pbAtr, LPDWORD pcbAtrLen) {
  return Status<char>(hCard, szReaderName, pcchReaderLen, pdwState, pdwProtocol, pbAtr, pcbAtrLen,
                      &Same);
}

LONG WINAPI SCardStatusW(SCARDHANDLE hCard, LPWSTR szReaderName, LPDWORD pcchReaderLen,
                         LPDWORD pdwState, LPDWORD pdwProtocol, LPBYTE pbAtr, LPDWORD pcbAtrLen) {
  return Status<wchar_t>(hCard, szReaderName, pcchReaderLen, pdwState, pdwProtocol, pbAtr,
                         pcbAtrLen, &Wide);
}

LONG WINAPI SCardControl(SCARDHANDLE hCard, DWORD dwControlCode, LPCVOID lpInBuffer,
                         DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                         LPDWORD lpBytesReturned) {
  if (lpBytesReturned == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  if (nInBufferSize > wire::kMaxBuffer) return Failure(SCARD_E_INVALID_PARAMETER);
  const DWORD inSize = lpInBuffer != nullptr ? nInBufferSize : 0;
  const DWORD capacity = lpOutBuffer != nullptr ? nOutBufferSize : 0;
  wire::Bytes reply;
  const LONG result = CallCard(hCard, wire::Op::Control, &reply, [&](wire::Writer& request) {
    request.U32(dwControlCode).Blob(lpInBuffer, inSize).U32(capacity);
  });
  *lpBytesReturned = 0;
  if (result != SCARD_S_SUCCESS) return result;
  CReplyFields fields(reply);
  const wire::Bytes out = fields.Blob();
  if (!fields.Done() || out.size() > capacity) return Failure(SCARD_F_COMM_ERROR);
  if (!out.empty()) std::memcpy(lpOutBuffer, out.data(), out.size());
  *lpBytesReturned = static_cast<DWORD>(out.size());
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardTransmit(SCARDHANDLE hCard, LPCSCARD_IO_REQUEST pioSendPci, LPCBYTE pbSendBuffer,
                          DWORD cbSendLength, LPSCARD_IO_REQUEST /*pioRecvPci*/,
                          LPBYTE pbRecvBuffer, LPDWORD pcbRecvLength) {
  if (pioSendPci == nullptr || pbSendBuffer == nullptr || pcbRecvLength == nullptr ||
      pbRecvBuffer == nullptr || cbSendLength > wire::kMaxBuffer) {
    return Failure(SCARD_E_INVALID_PARAMETER);
  }
  const DWORD capacity = *pcbRecvLength;
  wire::Bytes reply;
  const LONG result = CallCard(hCard, wire::Op::Transmit, &reply, [&](wire::Writer& request) {
    request.U32(pioSendPci->dwProtocol).Blob(pbSendBuffer, cbSendLength).U32(capacity);
  });
  if (result != SCARD_S_SUCCESS) return result;
  CReplyFields fields(reply);
  const wire::Bytes out = fields.Blob();
  if (!fields.Done() || out.size() > capacity) return Failure(SCARD_F_COMM_ERROR);
  if (!out.empty()) std::memcpy(pbRecvBuffer, out.data(), out.size());
  *pcbRecvLength = static_cast<DWORD>(out.size());
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardBeginTransaction(SCARDHANDLE hCard) {
  wire::Bytes reply;
  return CallCard(hCard, wire::Op::BeginTransaction, &reply);
}

LONG WINAPI SCardEndTransaction(SCARDHANDLE hCard, DWORD dwDisposition) {
  wire::Bytes reply;
  return CallCard(hCard, wire::Op::EndTransaction, &reply,
                  [&](wire::Writer& request) { request.U32(dwDisposition); });
}

LONG WINAPI SCardGetAttrib(SCARDHANDLE hCard, DWORD dwAttrId, LPBYTE pbAttr, LPDWORD pcbAttrLen) {
  if (pcbAttrLen == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  // A length query and SCARD_AUTOALLOCATE both need the whole value.
  const bool whole = pbAttr == nullptr || *pcbAttrLen == SCARD_AUTOALLOCATE;
  const DWORD capacity = whole ? wire::kMaxBuffer : *pcbAttrLen;
  wire::Bytes reply;
  const LONG result = CallCard(hCard, wire::Op::GetAttrib, &reply,
                               [&](wire::Writer& request) { request.U32(dwAttrId).U32(capacity); });
  CReplyFields fields(reply);
  const std::uint32_t length = fields.U32();
  const wire::Bytes value = fields.Blob();
  if (result == static_cast<LONG>(SCARD_E_INSUFFICIENT_BUFFER)) *pcbAttrLen = length;
  if (result != SCARD_S_SUCCESS) return result;
  if (!fields.Done()) return Failure(SCARD_F_COMM_ERROR);
  return CopyOut(std::basic_string<BYTE>(value.begin(), value.end()), pbAttr, pcbAttrLen);
}
