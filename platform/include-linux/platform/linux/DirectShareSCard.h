// SCARD_SHARE_DIRECT with the exclusivity Windows gives it, over any ISCard.
//
// Callers rely on the Windows meaning: a direct connection reserves the
// reader and a second connect fails with SCARD_E_SHARING_VIOLATION; that
// failure is what makes a newcomer cancel the holder's pending request.
// pcsc-lite reserves nothing for a direct connection (the second connect
// succeeds and queues behind the holder), so every host that reaches pcscd
// wraps its SCard table in this decorator. The reservation is the reader's
// machine-wide direct-share lock, so the service and the plug-in exclude
// each other too.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/SCard.h"
#include "platform/WinTypes.h"

namespace platform {

class CDirectShareSCard final : public ISCard {
 public:
  explicit CDirectShareSCard(std::shared_ptr<ISCard> inner);
  // Frees the readers of connections still open.
  ~CDirectShareSCard() override;
  CDirectShareSCard(const CDirectShareSCard&) = delete;
  CDirectShareSCard& operator=(const CDirectShareSCard&) = delete;

  // pcscd drops the connections of a released context: their locks go too.
  ::LONG ReleaseContext(::SCARDCONTEXT context) override;
  // A direct connection first takes the reader's lock; while another
  // connection holds it, answers SCARD_E_SHARING_VIOLATION without asking
  // the layer below.
  ::LONG Connect(::SCARDCONTEXT context, ::LPCSTR reader, ::DWORD shareMode,
                 ::DWORD preferredProtocols, ::LPSCARDHANDLE card,
                 ::LPDWORD activeProtocol) override;
  // Frees the reader whatever the result: the connection is gone or unusable.
  ::LONG Disconnect(::SCARDHANDLE card, ::DWORD disposition) override;

  // The rest goes to the layer below as it is.
  ::LONG EstablishContext(::DWORD scope, ::LPCVOID reserved1, ::LPCVOID reserved2,
                          ::LPSCARDCONTEXT context) override {
    return m_inner->EstablishContext(scope, reserved1, reserved2, context);
  }
  ::LONG ListReaders(::SCARDCONTEXT context, ::LPCSTR groups, ::LPSTR readers,
                     ::LPDWORD readersLength) override {
    return m_inner->ListReaders(context, groups, readers, readersLength);
  }
  ::LONG FreeMemory(::SCARDCONTEXT context, ::LPCVOID memory) override {
    return m_inner->FreeMemory(context, memory);
  }
  ::LONG Control(::SCARDHANDLE card, ::DWORD controlCode, ::LPCVOID sendBuffer, ::DWORD sendLength,
                 ::LPVOID receiveBuffer, ::DWORD receiveLength, ::LPDWORD bytesReturned) override {
    return m_inner->Control(card, controlCode, sendBuffer, sendLength, receiveBuffer, receiveLength,
                            bytesReturned);
  }

 private:
  struct Held {
    ::SCARDCONTEXT context = 0;
    HANDLE lock = nullptr;
  };

  std::shared_ptr<ISCard> m_inner;
  std::mutex m_mutex;
  std::map<::SCARDHANDLE, Held> m_held;
};

}  // namespace platform
