// CControlData: the request record shared by the waiting caller and the
// control thread's worker.
//
// Ownership: the record is held by shared pointer, by its CPCSC and by the
// worker, and it holds everything the worker touches (the PC/SC library,
// the card and device handles, the signals). A worker that does not stop
// in time is let go instead of terminated (Linux has no safe way to kill
// one thread); it can still only touch this record, which lives until the
// worker's own reference goes.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "brixon/Signal.h"
#include "brixon/SystemCS.h"
#include "command/Checks.h"
#include "platform/DeviceIo.h"
#include "platform/SCard.h"

namespace qvx::brixon {

constexpr std::uint32_t kNoResult = 0xFFFFFFFFu;
constexpr std::int32_t kNoCode = -1;
// Exit codes of the worker: ended normally, ended through an error, let go
// by a stop that timed out.
constexpr std::uint32_t kWorkerExitNormal = 0;
constexpr std::uint32_t kWorkerExitError = 1;
constexpr std::uint32_t kWorkerExitKilled = 0xFFFFFFFFu;

struct DeviceErrorEntry {
  std::string name;
  std::int32_t code = 0;
  std::string description;
};

class CControlData {
 public:
  // `library` is the PC/SC seam (unused on the direct path).
  CControlData(std::shared_ptr<platform::ISCard> library, bool directPath);
  virtual ~CControlData();
  CControlData(const CControlData&) = delete;
  CControlData& operator=(const CControlData&) = delete;

  // Stores the request, empties the response, clears the codes and the
  // result, clears the completion signal.
  void SetRequest(std::uint32_t controlCode, const std::string& displayName, const Bytes& request);
  // Byte i (i < count, i < 4) into extended error code i; later codes keep
  // their value.
  void SetExtendedErrorCodes(const std::uint8_t* bytes, std::size_t count);
  // " Extended error codes: (0x05, 0x1A):(ExtErr2 :0x1A,<name>,<description>)"
  // or a part of it, or empty; remembers the device error entry.
  std::string GetExtendedErrorText();

  // PC/SC path: after a device-reported failure, drops the connection
  // (75 ms pause, SCARD_LEAVE_CARD); a failure is logged only.
  void ForceDisconnectPCSC();

  // A worker that was let go still uses the connection: its owner hands the
  // card handle and the context over instead of closing them under it.
  // False when the worker has ended meanwhile (the owner closes them).
  bool HandOverToWorker(::SCARDCONTEXT context);
  // The worker's first and last steps; the last closes what was handed
  // over to it.
  void WorkerStarting();
  void WorkerEnded();

  bool IsDirectPath() const { return m_directPath; }
  platform::ISCard& Library() const { return *m_library; }

  CSecurityAttributes securityAttributes{1};
  // Owned by the record; the owner of the record opens and closes them.
  std::atomic<::SCARDHANDLE> cardHandle{0};
  std::atomic<platform::HDEVICE> deviceHandle{nullptr};

  // Written by the worker before it sets the completion signal, read by the
  // caller after it saw the signal.
  std::uint32_t resultCode = kNoResult;
  std::uint32_t controlCode = kNoResult;
  std::string displayName;
  Bytes request;
  Bytes response;
  std::array<std::int32_t, 4> extendedErrorCodes{kNoCode, kNoCode, kNoCode, kNoCode};
  DeviceErrorEntry deviceError;  // not cleared between requests

  std::unique_ptr<CSignal> readerCancelSignal;  // created by the reader access
  CSignal start{true, false};
  CSignal stop{true, false};
  CSignal completion{true, true};
  // Set by the worker as its very last step.
  CSignal exited{true, false};
  std::atomic<std::uint32_t> exitCode{kWorkerExitNormal};

 private:
  std::shared_ptr<platform::ISCard> m_library;
  bool m_directPath;
  std::mutex m_handOver;
  bool m_workerEnded = false;
  bool m_handedOver = false;
  ::SCARDCONTEXT m_context = 0;
};

}  // namespace qvx::brixon
