// The reader's sharing rules across processes. Every process loads its own
// winscard.dll, so the rules live in named mutexes of the reader: an
// exclusive (or direct) connection owns "<reader>_scard_exclusive" and
// finds none of the shared slots taken; a shared connection owns one slot
// "<reader>_scard_shared_N" and finds the exclusive mutex free. Each
// connection's mutexes are owned by a thread of its own, so two
// connections of one thread exclude each other as two processes do, and a
// killed holder leaves them abandoned, which the next connection takes. An
// exclusive holder is also recorded in the registry: a mutex goes with its
// last handle, so a record left behind is how a dead holder is told.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

namespace qvx::testing::scard {

class CShareLock {
 public:
  // Takes the reader for the share mode without waiting. `abandoned` tells
  // whether a holder died holding it.
  CShareLock(const std::string& reader, DWORD shareMode);
  ~CShareLock();
  CShareLock(const CShareLock&) = delete;
  CShareLock& operator=(const CShareLock&) = delete;

  // SCARD_S_SUCCESS, SCARD_E_SHARING_VIOLATION or a system failure.
  LONG Result() const { return m_result; }
  bool Abandoned() const { return m_abandoned; }

 private:
  void Hold(std::string reader, DWORD shareMode);

  LONG m_result = 0;
  bool m_abandoned = false;
  HANDLE m_decided = nullptr;
  HANDLE m_release = nullptr;
  std::thread m_holder;
};

}  // namespace qvx::testing::scard
