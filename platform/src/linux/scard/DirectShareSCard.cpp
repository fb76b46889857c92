#include "platform/linux/DirectShareSCard.h"

#include <utility>
#include <vector>

#include "platform/linux/DirectShareLock.h"

namespace platform {

CDirectShareSCard::CDirectShareSCard(std::shared_ptr<ISCard> inner) : m_inner(std::move(inner)) {}

CDirectShareSCard::~CDirectShareSCard() {
  for (const auto& held : m_held) ReleaseDirectShareLock(held.second.lock);
}

::LONG CDirectShareSCard::ReleaseContext(::SCARDCONTEXT context) {
  const ::LONG result = m_inner->ReleaseContext(context);
  if (result != SCARD_S_SUCCESS) return result;
  std::vector<HANDLE> locks;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    for (auto held = m_held.begin(); held != m_held.end();) {
      if (held->second.context == context) {
        locks.push_back(held->second.lock);
        held = m_held.erase(held);
      } else {
        ++held;
      }
    }
  }
  for (HANDLE lock : locks) ReleaseDirectShareLock(lock);
  return result;
}

::LONG CDirectShareSCard::Connect(::SCARDCONTEXT context, ::LPCSTR reader, ::DWORD shareMode,
                                  ::DWORD preferredProtocols, ::LPSCARDHANDLE card,
                                  ::LPDWORD activeProtocol) {
  if (shareMode != SCARD_SHARE_DIRECT || reader == nullptr) {
    return m_inner->Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
  }
  ::LONG failure = SCARD_S_SUCCESS;
  HANDLE lock = TakeDirectShareLock(reader, &failure);
  if (lock == nullptr) return failure;
  const ::LONG result =
      m_inner->Connect(context, reader, shareMode, preferredProtocols, card, activeProtocol);
  if (result != SCARD_S_SUCCESS) {
    ReleaseDirectShareLock(lock);
    return result;
  }
  std::lock_guard<std::mutex> guard(m_mutex);
  m_held[*card] = Held{context, lock};
  return result;
}

::LONG CDirectShareSCard::Disconnect(::SCARDHANDLE card, ::DWORD disposition) {
  const ::LONG result = m_inner->Disconnect(card, disposition);
  HANDLE lock = nullptr;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto held = m_held.find(card);
    if (held != m_held.end()) {
      lock = held->second.lock;
      m_held.erase(held);
    }
  }
  ReleaseDirectShareLock(lock);
  return result;
}

}  // namespace platform
