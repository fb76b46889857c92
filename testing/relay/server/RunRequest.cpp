#include "RunRequest.h"

#include <algorithm>
#include <string>

#include "contract/ReaderName.h"
#include "platform/Sync.h"

namespace qvx::testing::relay {

namespace {

using wire::Bytes;
using wire::Op;
using wire::Reader;
using wire::Writer;

// Status answers hold every name of the reader; far below kMaxBuffer.
constexpr std::size_t kReaderNamesSize = 4096;

std::uint32_t Result(::LONG result) { return static_cast<std::uint32_t>(result); }

// A reply of the result alone.
Bytes Plain(::LONG result) { return Writer().U32(Result(result)).Body(); }

Bytes ListReaders(platform::ISCard& scard, std::uint64_t context) {
  char* names = nullptr;
  ::DWORD length = SCARD_AUTOALLOCATE;
  const ::LONG result = scard.ListReaders(static_cast<::SCARDCONTEXT>(context), nullptr,
                                          reinterpret_cast<::LPSTR>(&names), &length);
  Writer reply;
  reply.U32(Result(result));
  if (result == SCARD_S_SUCCESS && names != nullptr) {
    reply.Blob(names, length);
  } else {
    reply.Blob(nullptr, 0);
  }
  if (names != nullptr) scard.FreeMemory(static_cast<::SCARDCONTEXT>(context), names);
  return reply.Body();
}

Bytes Connect(platform::ISCard& scard, std::uint64_t context, const std::string& reader,
              std::uint32_t share, std::uint32_t protocols) {
  ::SCARDHANDLE card = 0;
  ::DWORD active = 0;
  const ::LONG result = scard.Connect(static_cast<::SCARDCONTEXT>(context), reader.c_str(), share,
                                      protocols, &card, &active);
  return Writer()
      .U32(Result(result))
      .U64(static_cast<std::uint64_t>(card))
      .U32(static_cast<std::uint32_t>(active))
      .Body();
}

Bytes Control(platform::ISCard& scard, std::uint64_t card, std::uint32_t code, const Bytes& in,
              std::uint32_t capacity) {
  Bytes out(std::min(capacity, wire::kMaxBuffer));
  ::DWORD returned = 0;
  const ::LONG result =
      scard.Control(static_cast<::SCARDHANDLE>(card), code, in.empty() ? nullptr : in.data(),
                    in.size(), out.empty() ? nullptr : out.data(), out.size(), &returned);
  out.resize(result == SCARD_S_SUCCESS ? std::min<std::size_t>(returned, out.size()) : 0);
  return Writer().U32(Result(result)).Blob(out).Body();
}

Bytes Status(std::uint64_t card) {
  char names[kReaderNamesSize];
  ::DWORD namesLength = sizeof(names);
  ::DWORD state = 0;
  ::DWORD protocol = 0;
  unsigned char atr[MAX_ATR_SIZE];
  ::DWORD atrLength = sizeof(atr);
  const ::LONG result = SCardStatus(static_cast<::SCARDHANDLE>(card), names, &namesLength, &state,
                                    &protocol, atr, &atrLength);
  const bool ok = result == SCARD_S_SUCCESS;
  return Writer()
      .U32(Result(result))
      .Blob(names, ok ? std::min<std::size_t>(namesLength, sizeof(names)) : 0)
      .U32(static_cast<std::uint32_t>(state))
      .U32(static_cast<std::uint32_t>(protocol))
      .Blob(atr, ok ? std::min<std::size_t>(atrLength, sizeof(atr)) : 0)
      .Body();
}

Bytes Transmit(std::uint64_t card, std::uint32_t protocol, const Bytes& in,
               std::uint32_t capacity) {
  const SCARD_IO_REQUEST sendPci{protocol, sizeof(SCARD_IO_REQUEST)};
  SCARD_IO_REQUEST receivePci{protocol, sizeof(SCARD_IO_REQUEST)};
  Bytes out(std::min(capacity, wire::kMaxBuffer));
  ::DWORD received = out.size();
  const ::LONG result = SCardTransmit(static_cast<::SCARDHANDLE>(card), &sendPci, in.data(),
                                      in.size(), &receivePci, out.data(), &received);
  out.resize(result == SCARD_S_SUCCESS ? std::min<std::size_t>(received, out.size()) : 0);
  return Writer().U32(Result(result)).Blob(out).Body();
}

// Capacity 0 asks for the attribute's length only.
Bytes GetAttrib(std::uint64_t card, std::uint32_t attribute, std::uint32_t capacity) {
  Bytes value(std::min(capacity, wire::kMaxBuffer));
  ::DWORD length = value.size();
  const ::LONG result = SCardGetAttrib(static_cast<::SCARDHANDLE>(card), attribute,
                                       value.empty() ? nullptr : value.data(), &length);
  const std::size_t kept =
      result == SCARD_S_SUCCESS ? std::min<std::size_t>(length, value.size()) : 0;
  value.resize(kept);
  return Writer().U32(Result(result)).U32(static_cast<std::uint32_t>(length)).Blob(value).Body();
}

// What a Windows process does to reach the driver's cancel watcher: the
// named event the driver opened for the reader.
Bytes SetCancelEvent(const std::string& reader) {
  platform::HANDLE event =
      OpenEvent(EVENT_MODIFY_STATE, false, contract::CancelEventName(reader).c_str());
  if (event == nullptr) return Plain(SCARD_E_UNKNOWN_READER);
  const bool set = SetEvent(event);
  CloseHandle(event);
  return Plain(set ? SCARD_S_SUCCESS : SCARD_F_INTERNAL_ERROR);
}

}  // namespace

std::optional<Bytes> RunRequest(platform::ISCard& scard, const Bytes& request) {
  Reader in(request);
  const std::uint8_t op = in.U8();
  if (!in.Ok() || !wire::KnownOp(op)) return std::nullopt;
  // Every field is read before the call, so a short request never reaches
  // PC/SC.
  switch (static_cast<Op>(op)) {
    case Op::EstablishContext: {
      const std::uint32_t scope = in.U32();
      if (!in.Done()) return std::nullopt;
      ::SCARDCONTEXT context = 0;
      const ::LONG result = scard.EstablishContext(scope, nullptr, nullptr, &context);
      return Writer().U32(Result(result)).U64(static_cast<std::uint64_t>(context)).Body();
    }
    case Op::ReleaseContext: {
      const std::uint64_t context = in.U64();
      if (!in.Done()) return std::nullopt;
      return Plain(scard.ReleaseContext(static_cast<::SCARDCONTEXT>(context)));
    }
    case Op::IsValidContext: {
      const std::uint64_t context = in.U64();
      if (!in.Done()) return std::nullopt;
      return Plain(SCardIsValidContext(static_cast<::SCARDCONTEXT>(context)));
    }
    case Op::ListReaders: {
      const std::uint64_t context = in.U64();
      if (!in.Done()) return std::nullopt;
      return ListReaders(scard, context);
    }
    case Op::Connect: {
      const std::uint64_t context = in.U64();
      const std::string reader = in.Text();
      const std::uint32_t share = in.U32();
      const std::uint32_t protocols = in.U32();
      if (!in.Done()) return std::nullopt;
      return Connect(scard, context, reader, share, protocols);
    }
    case Op::Disconnect: {
      const std::uint64_t card = in.U64();
      const std::uint32_t disposition = in.U32();
      if (!in.Done()) return std::nullopt;
      return Plain(scard.Disconnect(static_cast<::SCARDHANDLE>(card), disposition));
    }
    case Op::Status: {
      const std::uint64_t card = in.U64();
      if (!in.Done()) return std::nullopt;
      return Status(card);
    }
    case Op::Control: {
      const std::uint64_t card = in.U64();
      const std::uint32_t code = in.U32();
      const Bytes data = in.Blob();
      const std::uint32_t capacity = in.U32();
      if (!in.Done()) return std::nullopt;
      return Control(scard, card, code, data, capacity);
    }
    case Op::Transmit: {
      const std::uint64_t card = in.U64();
      const std::uint32_t protocol = in.U32();
      const Bytes data = in.Blob();
      const std::uint32_t capacity = in.U32();
      if (!in.Done()) return std::nullopt;
      return Transmit(card, protocol, data, capacity);
    }
    case Op::BeginTransaction: {
      const std::uint64_t card = in.U64();
      if (!in.Done()) return std::nullopt;
      return Plain(SCardBeginTransaction(static_cast<::SCARDHANDLE>(card)));
    }
    case Op::EndTransaction: {
      const std::uint64_t card = in.U64();
      const std::uint32_t disposition = in.U32();
      if (!in.Done()) return std::nullopt;
      return Plain(SCardEndTransaction(static_cast<::SCARDHANDLE>(card), disposition));
    }
    case Op::GetAttrib: {
      const std::uint64_t card = in.U64();
      const std::uint32_t attribute = in.U32();
      const std::uint32_t capacity = in.U32();
      if (!in.Done()) return std::nullopt;
      return GetAttrib(card, attribute, capacity);
    }
    case Op::SetCancelEvent: {
      const std::string reader = in.Text();
      if (!in.Done()) return std::nullopt;
      return SetCancelEvent(reader);
    }
  }
  return std::nullopt;
}

}  // namespace qvx::testing::relay
