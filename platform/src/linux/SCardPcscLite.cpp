// ISCard over libpcsclite.
//
// Why this is more than a forwarder: callers rely on the Windows meaning of
// SCARD_SHARE_DIRECT, where a direct connection reserves the reader and a
// second connect fails with SCARD_E_SHARING_VIOLATION; that failure is what
// makes a newcomer cancel the holder's pending request. pcsc-lite 1.9.9
// reserves nothing for a direct connection: the second connect succeeds and
// pcscd queues its control calls behind the holder's, so the newcomer would
// just hang. A machine-wide named mutex per reader restores the Windows
// behaviour for every process that connects through this seam; the system
// releases it when its holder dies, and the next holder cancels what the
// dead one left pending.
#include <PCSC/winscard.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "platform/DirectShareLock.h"
#include "platform/SCard.h"

namespace {

// Held while a direct connection is open; dropping it frees the reader.
struct DirectShareLockRelease {
  void operator()(platform::KernelObject* mutex) const noexcept {
    platform::ReleaseDirectShareLock(mutex);
  }
};
using DirectShareLock =
    std::unique_ptr<platform::KernelObject, DirectShareLockRelease>;

class PcscLiteSCard final : public platform::ISCard {
 public:
  LONG EstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2,
                        LPSCARDCONTEXT context) override {
    return SCardEstablishContext(scope, reserved1, reserved2, context);
  }

  LONG ReleaseContext(SCARDCONTEXT context) override {
    const LONG result = SCardReleaseContext(context);
    // pcscd drops the connections of a released context, so their locks go
    // with them.
    if (result == SCARD_S_SUCCESS) ReleaseLocksOf(context);
    return result;
  }

  LONG ListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readers,
                   LPDWORD readersLength) override {
    return SCardListReaders(context, groups, readers, readersLength);
  }

  LONG FreeMemory(SCARDCONTEXT context, LPCVOID memory) override {
    return SCardFreeMemory(context, memory);
  }

  LONG Connect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode,
               DWORD preferredProtocols, LPSCARDHANDLE card,
               LPDWORD activeProtocol) override {
    if (shareMode != SCARD_SHARE_DIRECT || reader == nullptr)
      return SCardConnect(context, reader, shareMode, preferredProtocols, card,
                          activeProtocol);

    LONG failure = SCARD_S_SUCCESS;
    // From here on the lock is released whatever happens.
    DirectShareLock lock(platform::TakeDirectShareLock(reader, &failure));
    if (!lock) return failure;

    const LONG result = SCardConnect(context, reader, shareMode,
                                     preferredProtocols, card, activeProtocol);
    if (result != SCARD_S_SUCCESS) return result;
    std::lock_guard<std::mutex> guard(m_mutex);
    m_locks[*card] = Held{context, std::move(lock)};
    return result;
  }

  LONG Disconnect(SCARDHANDLE card, DWORD disposition) override {
    const LONG result = SCardDisconnect(card, disposition);
    // The connection is gone (or unusable) either way; keeping the lock
    // would lock the reader until this process ends.
    DirectShareLock lock;
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      auto held = m_locks.find(card);
      if (held != m_locks.end()) {
        lock = std::move(held->second.lock);
        m_locks.erase(held);
      }
    }
    return result;
  }

  LONG Control(SCARDHANDLE card, DWORD controlCode, LPCVOID sendBuffer,
               DWORD sendLength, LPVOID receiveBuffer, DWORD receiveLength,
               LPDWORD bytesReturned) override {
    return SCardControl(card, controlCode, sendBuffer, sendLength,
                        receiveBuffer, receiveLength, bytesReturned);
  }

 private:
  struct Held {
    SCARDCONTEXT context = 0;
    DirectShareLock lock;
  };

  void ReleaseLocksOf(SCARDCONTEXT context) {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (auto held = m_locks.begin(); held != m_locks.end();) {
      if (held->second.context == context)
        held = m_locks.erase(held);
      else
        ++held;
    }
  }

  std::mutex m_mutex;
  std::map<SCARDHANDLE, Held> m_locks;
};

}  // namespace

namespace platform {

ISCard& SystemSCard() {
  static PcscLiteSCard instance;
  return instance;
}

}  // namespace platform
