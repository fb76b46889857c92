// Carries a Windows process's cancel request to the Linux driver.
//
// On Windows the driver owns each reader's named cancel event, and a
// program that finds the reader held sets it to end the holder's pending
// request. Under Wine the driver runs behind pcscd, watching a Linux named
// event of the same name; the DLL of the holding process stands in for it:
// it keeps the Windows event while it holds the reader directly and passes
// each set on to the relay.
#pragma once

#include <windows.h>

#include <string>
#include <thread>

namespace qvx::testing::relay {

class CCancelBridge {
 public:
  // Creates (or opens) the reader's manual-reset cancel event and watches
  // it. A set left from before this connection was for an earlier holder
  // and is cleared first.
  explicit CCancelBridge(const std::string& reader);
  // Stops watching and closes the event.
  ~CCancelBridge();
  CCancelBridge(const CCancelBridge&) = delete;
  CCancelBridge& operator=(const CCancelBridge&) = delete;

  bool Watching() const { return m_thread.joinable(); }

 private:
  void Watch();

  std::string m_reader;
  HANDLE m_event = nullptr;
  HANDLE m_stop = nullptr;
  std::thread m_thread;
};

}  // namespace qvx::testing::relay
