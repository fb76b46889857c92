// The card-handle calls of the test winscard.dll: each one a device-control
// request on the connection's handle of the reader.
#include <windows.h>
#include <winioctl.h>
#include <winsmcrd.h>

#include <algorithm>

#include "HandleTable.h"
#include "ReaderDevices.h"
#include "ScardResult.h"
#include "contract/ReaderName.h"
#include "winscard/Buffers.h"

using namespace qvx::testing::scard;  // NOLINT: the exports stay in the global namespace
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

LONG Failure(DWORD code) { return static_cast<LONG>(code); }

// How long a newcomer that took the reader from a dead holder waits for the
// driver to take up the cancel it set.
constexpr DWORD kAbortTakenUpMs = 500;

DWORD ULongRequest(CDeviceFile& file, DWORD code, ULONG value, ULONG* reply) {
  Bytes out(sizeof(ULONG));
  const DWORD result = file.Control(code, &value, sizeof value, &out);
  if (result == ERROR_SUCCESS && reply != nullptr && out.size() == sizeof(ULONG)) {
    std::copy(out.begin(), out.end(), reinterpret_cast<BYTE*>(reply));
  }
  return result;
}

ULONG CardState(CDeviceFile& file) {
  Bytes out(sizeof(ULONG));
  ULONG state = SCARD_UNKNOWN;
  if (file.Control(IOCTL_SMARTCARD_GET_STATE, nullptr, 0, &out) == ERROR_SUCCESS &&
      out.size() == sizeof state) {
    std::copy(out.begin(), out.end(), reinterpret_cast<BYTE*>(&state));
  }
  return state;
}

// The holder died with a request pending in the driver: end it, as a
// newcomer does who finds the reader held, and let the driver take the
// cancel up before this connection's own requests go.
void CancelDeadHolder(const std::string& reader) {
  const std::string name = qvx::contract::CancelEventName(reader);
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str());
  if (event == nullptr) return;
  SetEvent(event);
  const ULONGLONG start = GetTickCount64();
  while (WaitForSingleObject(event, 0) == WAIT_OBJECT_0 &&
         GetTickCount64() - start < kAbortTakenUpMs) {
    Sleep(10);
  }
  CloseHandle(event);
}

// Powers the card up and agrees a protocol, as the service does for a
// connection that talks to the card.
LONG Negotiate(CCard& card, DWORD preferred) {
  const ULONG state = CardState(card.file);
  if (state == SCARD_UNKNOWN) return Failure(SCARD_E_READER_UNAVAILABLE);
  if (state == SCARD_ABSENT) return Failure(SCARD_W_REMOVED_CARD);
  if (state == SCARD_SWALLOWED) return Failure(SCARD_W_UNRESPONSIVE_CARD);
  if (state < SCARD_NEGOTIABLE) {
    Bytes atr(64);
    const ULONG reset = SCARD_COLD_RESET;
    const DWORD powered = card.file.Control(IOCTL_SMARTCARD_POWER, &reset, sizeof reset, &atr);
    if (powered != ERROR_SUCCESS) return ScardResult(powered);
  }
  ULONG protocol = 0;
  const DWORD set = ULongRequest(card.file, IOCTL_SMARTCARD_SET_PROTOCOL, preferred, &protocol);
  if (set == ERROR_NOT_SUPPORTED || set == ERROR_INVALID_PARAMETER) {
    return Failure(SCARD_E_PROTO_MISMATCH);
  }
  if (set != ERROR_SUCCESS) return ScardResult(set);
  card.protocol = protocol;
  return SCARD_S_SUCCESS;
}

LONG Connect(SCARDCONTEXT hContext, const std::string& reader, DWORD dwShareMode,
             DWORD dwPreferredProtocols, LPSCARDHANDLE phCard, LPDWORD pdwActiveProtocol) {
  if (phCard == nullptr || pdwActiveProtocol == nullptr) {
    return Failure(SCARD_E_INVALID_PARAMETER);
  }
  if (!Handles().FindContext(hContext)) return Failure(SCARD_E_INVALID_HANDLE);
  if (dwShareMode != SCARD_SHARE_SHARED && dwShareMode != SCARD_SHARE_EXCLUSIVE &&
      dwShareMode != SCARD_SHARE_DIRECT) {
    return Failure(SCARD_E_INVALID_VALUE);
  }
  const DWORD protocols = SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1;
  if (dwShareMode != SCARD_SHARE_DIRECT && (dwPreferredProtocols & protocols) == 0) {
    return Failure(SCARD_E_INVALID_VALUE);
  }
  const std::vector<ReaderDevice> readers = FindReaders();
  const auto found = std::find_if(readers.begin(), readers.end(),
                                  [&](const ReaderDevice& r) { return r.name == reader; });
  if (found == readers.end()) return Failure(SCARD_E_UNKNOWN_READER);
  // The sharing rules first: under Wine even opening the reader waits for
  // a request the holder has pending.
  auto card = std::make_shared<CCard>(reader, found->path, dwShareMode);
  if (card->lock.Result() != SCARD_S_SUCCESS) return card->lock.Result();
  if (card->lock.Abandoned()) CancelDeadHolder(reader);
  if (!card->file.Open()) return Failure(SCARD_E_READER_UNAVAILABLE);
  if (dwShareMode != SCARD_SHARE_DIRECT || (dwPreferredProtocols & protocols) != 0) {
    const LONG negotiated = Negotiate(*card, dwPreferredProtocols & protocols);
    if (negotiated != SCARD_S_SUCCESS) return negotiated;
  }
  card->owner = hContext;
  *pdwActiveProtocol = card->protocol;
  *phCard = Handles().AddCard(std::move(card));
  return SCARD_S_SUCCESS;
}

// What a disposition does to the card; nothing without one.
LONG Dispose(CCard& card, DWORD disposition) {
  ULONG minor = 0;
  switch (disposition) {
    case SCARD_LEAVE_CARD:
      return SCARD_S_SUCCESS;
    case SCARD_RESET_CARD:
      minor = SCARD_WARM_RESET;
      break;
    case SCARD_UNPOWER_CARD:
    case SCARD_EJECT_CARD:  // the reader has no mechanism: the card is powered down
      minor = SCARD_POWER_DOWN;
      break;
    default:
      return Failure(SCARD_E_INVALID_VALUE);
  }
  if (CardState(card.file) <= SCARD_ABSENT) return SCARD_S_SUCCESS;
  Bytes atr(64);
  card.file.Control(IOCTL_SMARTCARD_POWER, &minor, sizeof minor, &atr);
  return SCARD_S_SUCCESS;
}

template <typename Element>
LONG Status(SCARDHANDLE hCard, Element* names, LPDWORD namesLength, LPDWORD pdwState,
            LPDWORD pdwProtocol, LPBYTE pbAtr, LPDWORD pcbAtrLen,
            std::basic_string<Element> (*convert)(const std::string&)) {
  const std::shared_ptr<CCard> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  const ULONG state = CardState(card->file);
  if (state == SCARD_UNKNOWN) return Failure(SCARD_E_READER_UNAVAILABLE);
  Bytes atr(64);
  const ULONG id = SCARD_ATTR_ATR_STRING;
  if (state <= SCARD_ABSENT ||
      card->file.Control(IOCTL_SMARTCARD_GET_ATTRIBUTE, &id, sizeof id, &atr) != ERROR_SUCCESS) {
    atr.clear();
  }
  if (pdwState != nullptr) *pdwState = state;
  if (pdwProtocol != nullptr) *pdwProtocol = card->protocol;
  if (namesLength != nullptr) {
    const LONG copied = CopyOut(convert(MultiString(card->reader)), names, namesLength);
    if (copied != SCARD_S_SUCCESS) return copied;
  }
  if (pcbAtrLen != nullptr) {
    const LONG copied = CopyOut(std::basic_string<BYTE>(atr.begin(), atr.end()), pbAtr, pcbAtrLen);
    if (copied != SCARD_S_SUCCESS) return copied;
  }
  // A card that left after the connection was made is reported as gone.
  return state == SCARD_ABSENT && card->protocol != SCARD_PROTOCOL_UNDEFINED
             ? Failure(SCARD_W_REMOVED_CARD)
             : SCARD_S_SUCCESS;
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

LONG WINAPI SCardReconnect(SCARDHANDLE hCard, DWORD /*dwShareMode*/, DWORD dwPreferredProtocols,
                           DWORD dwInitialization, LPDWORD pdwActiveProtocol) {
  const std::shared_ptr<CCard> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  if (pdwActiveProtocol == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  const LONG disposed = Dispose(*card, dwInitialization);
  if (disposed != SCARD_S_SUCCESS) return disposed;
  const LONG negotiated =
      Negotiate(*card, dwPreferredProtocols & (SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1));
  if (negotiated == SCARD_S_SUCCESS) *pdwActiveProtocol = card->protocol;
  return negotiated;
}

LONG WINAPI SCardDisconnect(SCARDHANDLE hCard, DWORD dwDisposition) {
  const std::shared_ptr<CCard> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  const LONG disposed = Dispose(*card, dwDisposition);
  if (disposed != SCARD_S_SUCCESS) return disposed;
  // The handle and the reader go together: the lock ends with the card.
  Handles().RemoveCard(hCard);
  return SCARD_S_SUCCESS;
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
  *lpBytesReturned = 0;
  const std::shared_ptr<CCard> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  Bytes out(lpOutBuffer != nullptr ? nOutBufferSize : 0);
  const DWORD result = card->file.Control(dwControlCode, lpInBuffer,
                                          lpInBuffer != nullptr ? nInBufferSize : 0, &out);
  if (result != ERROR_SUCCESS) return ScardResult(result);
  std::copy(out.begin(), out.end(), static_cast<BYTE*>(lpOutBuffer));
  *lpBytesReturned = static_cast<DWORD>(out.size());
  return SCARD_S_SUCCESS;
}

LONG WINAPI SCardTransmit(SCARDHANDLE hCard, LPCSCARD_IO_REQUEST pioSendPci, LPCBYTE pbSendBuffer,
                          DWORD cbSendLength, LPSCARD_IO_REQUEST pioRecvPci, LPBYTE pbRecvBuffer,
                          LPDWORD pcbRecvLength) {
  if (pioSendPci == nullptr || pbSendBuffer == nullptr || pcbRecvLength == nullptr ||
      pbRecvBuffer == nullptr || pioSendPci->cbPciLength < sizeof(SCARD_IO_REQUEST)) {
    return Failure(SCARD_E_INVALID_PARAMETER);
  }
  const std::shared_ptr<CCard> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  if (card->protocol == SCARD_PROTOCOL_UNDEFINED) return Failure(SCARD_E_NOT_TRANSACTED);
  if (pioSendPci->dwProtocol != card->protocol) return Failure(SCARD_E_PROTO_MISMATCH);
  // The request goes as the protocol header and the APDU; the reply comes
  // back with the same header in front.
  const auto* header = reinterpret_cast<const BYTE*>(pioSendPci);
  Bytes in(header, header + pioSendPci->cbPciLength);
  in.insert(in.end(), pbSendBuffer, pbSendBuffer + cbSendLength);
  Bytes out(sizeof(SCARD_IO_REQUEST) + *pcbRecvLength);
  const DWORD result =
      card->file.Control(IOCTL_SMARTCARD_TRANSMIT, in.data(), static_cast<DWORD>(in.size()), &out);
  if (result != ERROR_SUCCESS) return ScardResult(result);
  if (out.size() < sizeof(SCARD_IO_REQUEST)) return Failure(SCARD_F_COMM_ERROR);
  SCARD_IO_REQUEST replyHeader{};
  std::copy(out.begin(), out.begin() + sizeof replyHeader, reinterpret_cast<BYTE*>(&replyHeader));
  const std::size_t skip = std::min<std::size_t>(
      std::max<DWORD>(replyHeader.cbPciLength, sizeof(SCARD_IO_REQUEST)), out.size());
  if (pioRecvPci != nullptr) {
    pioRecvPci->dwProtocol = replyHeader.dwProtocol;
    pioRecvPci->cbPciLength = sizeof(SCARD_IO_REQUEST);
  }
  std::copy(out.begin() + static_cast<std::ptrdiff_t>(skip), out.end(), pbRecvBuffer);
  *pcbRecvLength = static_cast<DWORD>(out.size() - skip);
  return SCARD_S_SUCCESS;
}

// The connection already has the reader to itself or shares it by the
// sharing rules; a transaction adds nothing the callers here rely on.
LONG WINAPI SCardBeginTransaction(SCARDHANDLE hCard) {
  return Handles().FindCard(hCard) ? SCARD_S_SUCCESS : Failure(SCARD_E_INVALID_HANDLE);
}

LONG WINAPI SCardEndTransaction(SCARDHANDLE hCard, DWORD dwDisposition) {
  const std::shared_ptr<CCard> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  return Dispose(*card, dwDisposition);
}

LONG WINAPI SCardGetAttrib(SCARDHANDLE hCard, DWORD dwAttrId, LPBYTE pbAttr, LPDWORD pcbAttrLen) {
  if (pcbAttrLen == nullptr) return Failure(SCARD_E_INVALID_PARAMETER);
  const std::shared_ptr<CCard> card = Handles().FindCard(hCard);
  if (!card) return Failure(SCARD_E_INVALID_HANDLE);
  std::basic_string<BYTE> value;
  if (dwAttrId == SCARD_ATTR_DEVICE_FRIENDLY_NAME_A ||
      dwAttrId == SCARD_ATTR_DEVICE_SYSTEM_NAME_A) {
    // The service's own attributes: the name it gave the reader.
    value.assign(card->reader.begin(), card->reader.end());
    value.push_back(0);
  } else {
    Bytes out(1024);
    const DWORD result =
        card->file.Control(IOCTL_SMARTCARD_GET_ATTRIBUTE, &dwAttrId, sizeof dwAttrId, &out);
    if (result == ERROR_NOT_SUPPORTED) return Failure(SCARD_E_UNSUPPORTED_FEATURE);
    if (result != ERROR_SUCCESS) return ScardResult(result);
    value.assign(out.begin(), out.end());
  }
  return CopyOut(value, pbAttr, pcbAttrLen);
}
