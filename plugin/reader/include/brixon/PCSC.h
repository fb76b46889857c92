// CPCSC: the plug-in's channel to the Quorvex2. Finds and opens the device,
// hands one vendor request at a time to its control thread and waits for it
// while the calling thread keeps dispatching window messages; serialises
// the device across all processes through the device mutex.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "brixon/ControlData.h"
#include "brixon/ControlThread.h"
#include "brixon/PCSCContext.h"
#include "brixon/ReaderAccess.h"
#include "brixon/Signal.h"
#include "brixon/SystemCS.h"
#include "platform/SCard.h"

namespace qvx::brixon {

class CPCSC : public IReaderAccess {
 public:
  struct Options {
    bool directPath;  // default: the process's path flag
    // PC/SC path: the library table; null loads libpcsclite (CLoadLibraries)
    // behind the direct-share lock.
    std::shared_ptr<platform::ISCard> library;
    std::string deviceMutexName = kDeviceMutexName;
    Options();
  };

  // Establishes the PC/SC context (PC/SC path), creates the session cancel
  // signal and starts the control thread. Raises CError.
  CPCSC();
  explicit CPCSC(Options options);
  // Stops the control thread and disconnects; never raises (failures are
  // logged).
  ~CPCSC() override;
  CPCSC(const CPCSC&) = delete;
  CPCSC& operator=(const CPCSC&) = delete;

  // One vendor request: exclusive access, connect, the control thread,
  // the message-pumping wait, disconnect. Raises CError.
  void Control(contract::ControlIndex index, const Bytes& input, Bytes& output);
  // IDeviceChannel: Control with its answer returned.
  Bytes Execute(contract::ControlIndex index, const Bytes& request) override;
  // The command object's cancel. Called re-entrantly from inside this
  // object's own wait (script run by a dispatched window message), it sets
  // the session cancel signal and returns at once: the wait then ends the
  // request with status 15, cancelling it at the device. From anywhere else
  // it is Cancel(true).
  void Cancel() override;
  // Ends the running request of this object (onlyIfBusy: nothing when
  // idle) and waits up to 2000 ms for it.
  void Cancel(bool onlyIfBusy);

  bool IsDirectPath() const { return m_directPath; }
  bool IsBusy() const;
  // The reader name (PC/SC) or device path (direct) found last.
  const std::string& GetReaderName() const { return m_readerName; }

  std::string GetReaderNamePCSC();
  std::string GetReaderNameDirect();
  void ConnectPCSC();
  void ConnectDirect();
  void WaitForCompletion();
  void Disconnect();  // direct
  void DisconnectPCSC();
  void ForceDisconnectPCSC();

  // Threads of this process that wait for a device request now.
  static bool IsBusyThread(platform::DWORD threadId);

 private:
  void RefreshReaderCancelSignal();
  void Connect();
  void DisconnectAtScopeExit() noexcept;

  bool m_directPath;
  std::shared_ptr<platform::ISCard> m_library;
  std::string m_deviceMutexName;
  std::unique_ptr<CPCSCContext> m_context;
  std::string m_readerName;
  bool m_sendOpenCancelEvent = false;
  CSecurityAttributes m_securityAttributes;
  std::unique_ptr<CSignal> m_sessionCancel;
  std::shared_ptr<CControlData> m_data;
  std::unique_ptr<CControlThread> m_controlThread;  // goes first
  std::string m_displayName;
  // The thread inside WaitForCompletion's message-pumping wait, 0 when none.
  std::atomic<platform::DWORD> m_waitingThread{0};
};

}  // namespace qvx::brixon
