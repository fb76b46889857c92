// The DLL's contexts and card connections. A connection is an open handle
// on its reader's device interface and the reader's share lock; each call
// on it is a device-control request to the driver.
#pragma once

#include <windows.h>
#include <winscard.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "DeviceFile.h"
#include "ShareLock.h"

namespace qvx::testing::scard {

class CContext {
 public:
  CContext();
  ~CContext();
  CContext(const CContext&) = delete;
  CContext& operator=(const CContext&) = delete;

  // The event a status-change wait also ends on: set by SCardCancel while
  // someone waits, cleared when the last waiter leaves.
  HANDLE BeginWait();
  void EndWait();
  void Cancel();

 private:
  std::mutex m_mutex;
  int m_waiters = 0;
  HANDLE m_cancel = nullptr;
};

struct CCard {
  CCard(const std::string& name, std::string path, DWORD shareMode)
      : reader(name), file(std::move(path)), lock(name, shareMode) {}

  std::string reader;
  CDeviceFile file;
  CShareLock lock;
  SCARDCONTEXT owner = 0;
  DWORD protocol = SCARD_PROTOCOL_UNDEFINED;
};

class CHandleTable {
 public:
  SCARDCONTEXT AddContext();
  std::shared_ptr<CContext> FindContext(SCARDCONTEXT handle);
  // Forgets the context and disconnects its cards (leaving the card).
  bool RemoveContext(SCARDCONTEXT handle);

  SCARDHANDLE AddCard(std::shared_ptr<CCard> card);
  std::shared_ptr<CCard> FindCard(SCARDHANDLE handle);
  std::shared_ptr<CCard> RemoveCard(SCARDHANDLE handle);

 private:
  std::uintptr_t Next() { return m_next += 4; }

  std::mutex m_mutex;
  // Starts well away from 0 so that a handle is never mistaken for "none".
  std::uintptr_t m_next = 0x5C400;
  std::map<SCARDCONTEXT, std::shared_ptr<CContext>> m_contexts;
  std::map<SCARDHANDLE, std::shared_ptr<CCard>> m_cards;
};

// The process's handle table. Never destroyed: a program may exit with
// connections open, their share-lock threads still waiting.
CHandleTable& Handles();

}  // namespace qvx::testing::scard
