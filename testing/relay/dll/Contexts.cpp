#include "Contexts.h"

#include <utility>

namespace qvx::testing::relay {

LONG CContext::Establish(DWORD scope) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_connection.Open()) return static_cast<LONG>(SCARD_E_NO_SERVICE);
  const std::optional<wire::Bytes> reply = m_connection.Call(
      wire::Writer().U8(static_cast<std::uint8_t>(wire::Op::EstablishContext)).U32(scope));
  if (!reply) return static_cast<LONG>(SCARD_E_NO_SERVICE);
  wire::Reader fields(*reply);
  const auto result = static_cast<LONG>(fields.U32());
  m_remote = fields.U64();
  if (!fields.Done()) return static_cast<LONG>(SCARD_F_COMM_ERROR);
  return result;
}

LONG CContext::Call(const wire::Writer& request, wire::Bytes* reply) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::optional<wire::Bytes> answer = m_connection.Call(request);
  if (!answer) return static_cast<LONG>(SCARD_E_NO_SERVICE);
  *reply = std::move(*answer);
  return static_cast<LONG>(wire::Reader(*reply).U32());
}

void CContext::Close() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_connection.Close();
}

SCARDCONTEXT CHandleTable::AddContext(std::shared_ptr<CContext> context) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const SCARDCONTEXT handle = Next();
  m_contexts[handle] = std::move(context);
  return handle;
}

std::shared_ptr<CContext> CHandleTable::FindContext(SCARDCONTEXT handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_contexts.find(handle);
  return found == m_contexts.end() ? nullptr : found->second;
}

std::shared_ptr<CContext> CHandleTable::RemoveContext(
    SCARDCONTEXT handle, std::vector<std::unique_ptr<CCancelBridge>>* bridges) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_contexts.find(handle);
  if (found == m_contexts.end()) return nullptr;
  std::shared_ptr<CContext> context = std::move(found->second);
  m_contexts.erase(found);
  for (auto card = m_cards.begin(); card != m_cards.end();) {
    if (card->second.owner == handle) {
      if (card->second.bridge) bridges->push_back(std::move(card->second.bridge));
      card = m_cards.erase(card);
    } else {
      ++card;
    }
  }
  return context;
}

SCARDHANDLE CHandleTable::AddCard(SCARDCONTEXT owner, CardRef card,
                                  std::unique_ptr<CCancelBridge> bridge) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const SCARDHANDLE handle = Next();
  m_cards[handle] = Card{owner, std::move(card), std::move(bridge)};
  return handle;
}

std::optional<CardRef> CHandleTable::FindCard(SCARDHANDLE handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_cards.find(handle);
  if (found == m_cards.end()) return std::nullopt;
  return found->second.ref;
}

std::unique_ptr<CCancelBridge> CHandleTable::RemoveCard(SCARDHANDLE handle) {
  std::lock_guard<std::mutex> lock(m_mutex);
  const auto found = m_cards.find(handle);
  if (found == m_cards.end()) return nullptr;
  std::unique_ptr<CCancelBridge> bridge = std::move(found->second.bridge);
  m_cards.erase(found);
  return bridge;
}

CHandleTable& Handles() {
  static CHandleTable* handles = new CHandleTable;
  return *handles;
}

}  // namespace qvx::testing::relay
