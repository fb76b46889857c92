// CControlThread: the worker that performs the blocking control call of a
// request while the caller's thread keeps its window messages flowing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "brixon/ControlData.h"
#include "platform/WinTypes.h"

namespace qvx::brixon {

// How long a stop or a cancel waits for the worker.
constexpr platform::DWORD kWorkerStopMs = 2000;
// The result a caller gets when the worker ended through an error.
constexpr std::uint32_t kWorkerEndedResult = 31;  // ERROR_GEN_FAILURE

class CControlThread {
 public:
  // Starts the worker in the idle state; raises what Create raises.
  explicit CControlThread(std::shared_ptr<CControlData> data);
  virtual ~CControlThread();  // Destroy
  CControlThread(const CControlThread&) = delete;
  CControlThread& operator=(const CControlThread&) = delete;

  // Sets completion, clears stop and start, starts the worker. Raises
  // "_beginthreadex(ThreadProc) failed.".
  void Create();
  // Hands a request to the worker and returns at once; the caller waits for
  // the completion signal. A worker that ended through an error is started
  // again first.
  void Start(std::uint32_t controlCode, const std::string& displayName, const Bytes& request);
  // The completion signal is set.
  bool IsIdle() const;
  bool HasWorker() const { return m_thread.joinable(); }
  // Asks the device to end the running request (direct: a cancel request on
  // a second handle of `devicePath`; PC/SC: the reader cancel signal) and
  // waits up to kWorkerStopMs for it, without dispatching messages.
  void Cancel(const std::string& devicePath, bool onlyIfBusy);
  void CancelDirect(const std::string& devicePath);
  // Stops the worker: the stop signal, then up to kWorkerStopMs; a worker
  // still busy then is let go (Kill). Failures are logged only.
  void Destroy();

  // The last-error query of the path in use; 0 or the failure code.
  static std::uint32_t GetExtendedErrorCodes(CControlData& data);
  static std::uint32_t GetExtendedErrorCodesPCSC(CControlData& data);
  static std::uint32_t GetExtendedErrorCodesDirect(CControlData& data);

 private:
  static void ThreadProc(std::shared_ptr<CControlData> data);
  static void ThreadLoop(CControlData& data);
  void Kill();

  std::shared_ptr<CControlData> m_data;
  std::thread m_thread;
};

// The extended-error table: result code for a status index 1..13 of the
// last-error record. Raises "p_PCSCEnum out-of-range: <n>" for 14 and more.
std::uint32_t PCSCEnumToCode(std::int32_t index);

}  // namespace qvx::brixon
