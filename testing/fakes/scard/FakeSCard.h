// A scriptable PC/SC for unit tests: a test fixture owns one, scripts what
// the resource manager and the reader answer, and reads back the calls.
#pragma once

#include <deque>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/SCard.h"

namespace qvx::testing {

class FakeSCard : public platform::ISCard {
 public:
  struct Call {
    std::string function;       // "EstablishContext", "ListReaders", "Connect", ...
    std::string reader;         // Connect
    DWORD shareMode = 0;        // Connect
    DWORD controlCode = 0;      // Control
    std::vector<BYTE> request;  // Control
    DWORD receiveLength = 0;    // Control
    DWORD disposition = 0;      // Disconnect
  };
  struct ControlAnswer {
    LONG result = SCARD_S_SUCCESS;
    std::vector<BYTE> data;  // longer than the caller's buffer: the call
                             // fails with SCARD_E_INSUFFICIENT_BUFFER
  };

  // --- script ---
  LONG establishResult = SCARD_S_SUCCESS;
  LONG releaseResult = SCARD_S_SUCCESS;
  // Reader names in the order ListReaders lists them. With none, ListReaders
  // answers SCARD_E_NO_READERS_AVAILABLE, as pcsc-lite does.
  std::vector<std::string> readers;
  LONG listResult = SCARD_S_SUCCESS;  // a failure here overrides the list
  // Consumed one per Connect call; when empty, Connect succeeds.
  std::deque<LONG> connectResults;
  LONG disconnectResult = SCARD_S_SUCCESS;
  // Called at the start of every Connect / Control (after logging the call);
  // lets a test act "while the device waits", e.g. look at a named event.
  std::function<void(const Call&)> onCall;

  // Answers per control code, consumed in order. A code without a queued
  // answer succeeds with no data (for GetLastError: an all-zero record of
  // four bytes).
  void QueueControl(DWORD controlCode, ControlAnswer answer);

  // --- read back ---
  std::vector<Call> calls;
  std::vector<Call> CallsTo(const std::string& function) const;
  std::vector<Call> ControlCalls(DWORD controlCode) const;
  int OpenContexts() const { return m_openContexts; }
  int OpenCards() const { return m_openCards; }
  int OutstandingAllocations() const { return m_allocations; }

  // --- ISCard ---
  LONG EstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2,
                        LPSCARDCONTEXT context) override;
  LONG ReleaseContext(SCARDCONTEXT context) override;
  LONG ListReaders(SCARDCONTEXT context, LPCSTR groups, LPSTR readersOut,
                   LPDWORD readersLength) override;
  LONG FreeMemory(SCARDCONTEXT context, LPCVOID memory) override;
  LONG Connect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode, DWORD preferredProtocols,
               LPSCARDHANDLE card, LPDWORD activeProtocol) override;
  LONG Disconnect(SCARDHANDLE card, DWORD disposition) override;
  LONG Control(SCARDHANDLE card, DWORD controlCode, LPCVOID sendBuffer, DWORD sendLength,
               LPVOID receiveBuffer, DWORD receiveLength, LPDWORD bytesReturned) override;

 private:
  struct FreeBlock {
    void operator()(char* block) const { std::free(block); }
  };

  bool IsOpenContext(SCARDCONTEXT context) const;
  bool IsOpenCard(SCARDHANDLE card) const;

  std::map<DWORD, std::deque<ControlAnswer>> m_answers;
  std::set<SCARDCONTEXT> m_contexts;
  std::set<SCARDHANDLE> m_cards;
  // Reader lists handed out with SCARD_AUTOALLOCATE, until FreeMemory; the
  // fake frees whatever a leaky caller left when it goes away.
  std::map<const void*, std::unique_ptr<char, FreeBlock>> m_blocks;
  int m_openContexts = 0;
  int m_openCards = 0;
  int m_allocations = 0;
  SCARDCONTEXT m_nextContext = 0x1000;
  SCARDHANDLE m_nextCard = 0x2000;
};

}  // namespace qvx::testing
