// The DLL's contexts and card handles. Each context has its own connection
// to the relay (one Linux process, one pcsc-lite context); its calls take
// turns on it. Handles given to the program are the DLL's own numbers,
// mapped to the Linux side's values.
#pragma once

#include <winscard.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "CancelBridge.h"
#include "RelayConnection.h"

namespace qvx::testing::relay {

class CContext {
 public:
  // Connects to the relay and establishes the Linux context; the PC/SC
  // result (SCARD_E_NO_SERVICE without a relay).
  LONG Establish(DWORD scope);
  std::uint64_t Remote() const { return m_remote; }

  // One request and its reply body; the reply's result, or
  // SCARD_E_NO_SERVICE when the relay is gone. Calls take turns.
  LONG Call(const wire::Writer& request, wire::Bytes* reply);
  // Ends the connection (and the Linux process with its context).
  void Close();

 private:
  std::mutex m_mutex;
  CRelayConnection m_connection;
  std::uint64_t m_remote = 0;
};

struct CardRef {
  std::shared_ptr<CContext> context;
  std::uint64_t remote = 0;
};

class CHandleTable {
 public:
  SCARDCONTEXT AddContext(std::shared_ptr<CContext> context);
  std::shared_ptr<CContext> FindContext(SCARDCONTEXT handle);
  // Forgets the context and its cards; the caller ends what is returned
  // (outside the table's lock: a bridge joins its thread).
  std::shared_ptr<CContext> RemoveContext(SCARDCONTEXT handle,
                                          std::vector<std::unique_ptr<CCancelBridge>>* bridges);

  SCARDHANDLE AddCard(SCARDCONTEXT owner, CardRef card, std::unique_ptr<CCancelBridge> bridge);
  std::optional<CardRef> FindCard(SCARDHANDLE handle);
  // Forgets the card; its bridge (possibly none) for the caller to end.
  std::unique_ptr<CCancelBridge> RemoveCard(SCARDHANDLE handle);

 private:
  struct Card {
    SCARDCONTEXT owner = 0;
    CardRef ref;
    std::unique_ptr<CCancelBridge> bridge;
  };

  std::uintptr_t Next() { return m_next += 4; }

  std::mutex m_mutex;
  // Starts well away from 0 so that a handle is never mistaken for "none".
  std::uintptr_t m_next = 0x51C00;
  std::map<SCARDCONTEXT, std::shared_ptr<CContext>> m_contexts;
  std::map<SCARDHANDLE, Card> m_cards;
};

// The process's handle table. Never destroyed: bridge threads may outlive
// static destruction when a program exits without disconnecting.
CHandleTable& Handles();

}  // namespace qvx::testing::relay
