#include "HandleTable.h"

namespace qvx::testing::scard {

CContext::CContext() : m_cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CContext::~CContext() {
  if (m_cancel != nullptr) CloseHandle(m_cancel);
}

HANDLE CContext::BeginWait() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ++m_waiters;
  return m_cancel;
}

void CContext::EndWait() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (--m_waiters == 0) ResetEvent(m_cancel);
}

void CContext::Cancel() {
  std::lock_guard<std::mutex> lock(m_mutex);
  // Nothing outstanding: nothing to end, and no later wait ends early.
  if (m_waiters > 0) SetEvent(m_cancel);
}

SCARDCONTEXT CHandleTable::AddContext() {
  std::lock_guard<std::mutex> lock(m_mutex);
  const SCARDCONTEXT handle = Next();
  m_contexts[handle] = std::make_shared<CContext>();
  return handle;
}

std::shared_ptr<CContext> CHandleTable::FindContext(SCARDCONTEXT handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_contexts.find(handle);
  return found == m_contexts.end() ? nullptr : found->second;
}

bool CHandleTable::RemoveContext(SCARDCONTEXT handle) {
  std::map<SCARDHANDLE, std::shared_ptr<CCard>> cards;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_contexts.find(handle);
    if (found == m_contexts.end()) return false;
    found->second->Cancel();
    m_contexts.erase(found);
    for (auto card = m_cards.begin(); card != m_cards.end();) {
      if (card->second->owner == handle) {
        cards.insert(*card);
        card = m_cards.erase(card);
      } else {
        ++card;
      }
    }
  }
  // The cards go outside the lock: each joins its share-lock thread.
  return true;
}

SCARDHANDLE CHandleTable::AddCard(std::shared_ptr<CCard> card) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const SCARDHANDLE handle = Next();
  m_cards[handle] = std::move(card);
  return handle;
}

std::shared_ptr<CCard> CHandleTable::FindCard(SCARDHANDLE handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_cards.find(handle);
  return found == m_cards.end() ? nullptr : found->second;
}

std::shared_ptr<CCard> CHandleTable::RemoveCard(SCARDHANDLE handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_cards.find(handle);
  if (found == m_cards.end()) return nullptr;
  std::shared_ptr<CCard> card = std::move(found->second);
  m_cards.erase(found);
  return card;
}

CHandleTable& Handles() {
  static CHandleTable* handles = new CHandleTable;
  return *handles;
}

}  // namespace qvx::testing::scard
