#include "brixon/ControlThread.h"

#include <algorithm>
#include <system_error>

#include "brixon/Error.h"
#include "brixon/Paths.h"
#include "command/ErrorCodes.h"

namespace qvx::brixon {

namespace {

constexpr std::size_t kOutputSize = 1024;
constexpr std::size_t kLastErrorSize = 4;

// Logs without raising; a failure to log must not stop the caller.
void LogOnly(const char* label, const std::string& message, std::uint32_t code,
             std::int32_t level = LEVEL_ERROR) noexcept {
  try {
    CError(label, message, code, level);
  } catch (...) {
  }
}

}  // namespace

std::uint32_t PCSCEnumToCode(std::int32_t index) {
  if (index < 0 || index > kLastExtendedError) {
    throw CError("CPCSCError::PCSCEnumToCode()",
                 "p_PCSCEnum out-of-range: " + std::to_string(index), 0, LEVEL_ERROR,
                 kStatusCommunicationError);
  }
  return ExtendedErrorCode(static_cast<std::uint8_t>(index));
}

CControlThread::CControlThread(std::shared_ptr<CControlData> data) : m_data(std::move(data)) {
  Create();
}

CControlThread::~CControlThread() {
  try {
    Destroy();
  } catch (...) {
    // Failures while stopping are logged only; nothing may leave here.
  }
}

void CControlThread::Create() {
  m_data->completion.Signal();
  m_data->stop.Reset();
  m_data->start.Reset();
  m_data->exited.Reset();
  m_data->exitCode = kWorkerExitNormal;
  m_data->WorkerStarting();
  try {
    m_thread = std::thread(&CControlThread::ThreadProc, m_data);
  } catch (const std::system_error& e) {
    throw CError("CControlThread::Create()", "_beginthreadex(ThreadProc) failed.",
                 static_cast<std::uint32_t>(e.code().value()));
  }
}

void CControlThread::Start(std::uint32_t controlCode, const std::string& displayName,
                           const Bytes& request) {
  if (m_data->exited.IsSet()) {
    // The worker ended through an error; a new one serves from here on.
    Destroy();
    Create();
  }
  m_data->SetRequest(controlCode, displayName, request);
  m_data->start.Signal();
}

bool CControlThread::IsIdle() const { return m_data->completion.IsSet(); }

void CControlThread::Cancel(const std::string& devicePath, bool onlyIfBusy) {
  if (onlyIfBusy && IsIdle()) return;
  if (m_data->IsDirectPath()) {
    CancelDirect(devicePath);
  } else if (m_data->readerCancelSignal) {
    m_data->readerCancelSignal->Signal();
  }
  // The outcome shows in the request's own result.
  m_data->completion.Wait(kWorkerStopMs);
}

void CControlThread::CancelDirect(const std::string& devicePath) {
  constexpr const char* kLabel = "CControlThread::CancelDirect()";
  platform::HDEVICE device =
      CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == nullptr) {
    throw CError(kLabel, "CreateFile(" + devicePath + ") failed.", GetLastError());
  }
  platform::DWORD returned = 0;
  const bool sent =
      DeviceIoControl(device, ControlCodeOf(contract::ControlIndex::OpenCancelEvent, true), nullptr,
                      0, nullptr, 0, &returned, nullptr);
  const platform::DWORD error = GetLastError();
  CloseHandle(device);
  if (!sent) {
    throw CError(kLabel,
                 "DeviceIoControl(" + DisplayNameOf(contract::ControlIndex::OpenCancelEvent, true) +
                     ") failed.",
                 error);
  }
}

void CControlThread::Destroy() {
  if (!m_thread.joinable()) return;
  try {
    m_data->stop.Signal();
  } catch (const CError&) {
    // Logged; the wait below decides.
  }
  if (m_data->exited.Wait(kWorkerStopMs)) {
    m_thread.join();
  } else {
    Kill();
  }
}

void CControlThread::Kill() {
  if (!m_thread.joinable()) return;
  // No thread can be terminated safely here. The worker is let go: it holds
  // its own reference to the record, finds the stop signal when its device
  // call returns, and ends then. The device file is closed now so that a
  // pending direct request returns at once.
  m_data->exitCode = kWorkerExitKilled;
  if (m_data->IsDirectPath()) {
    if (platform::HDEVICE device = m_data->deviceHandle.exchange(nullptr)) {
      CloseHandle(device);
    }
  }
  m_thread.detach();
  LogOnly("CControlThread::Kill()", "Worker did not stop within 2000 ms; left to end on its own.",
          0);
}

std::uint32_t CControlThread::GetExtendedErrorCodes(CControlData& data) {
  return data.IsDirectPath() ? GetExtendedErrorCodesDirect(data) : GetExtendedErrorCodesPCSC(data);
}

std::uint32_t CControlThread::GetExtendedErrorCodesPCSC(CControlData& data) {
  std::uint8_t record[kLastErrorSize] = {};
  ::DWORD returned = 0;
  const ::LONG result = data.Library().Control(
      data.cardHandle.load(), ControlCodeOf(contract::ControlIndex::GetLastError, false), nullptr,
      0, record, sizeof record, &returned);
  if (result != SCARD_S_SUCCESS) {
    LogOnly("CControlThread::GetExtendedErrorCodesPCSC()",
            "SCardControl(" + DisplayNameOf(contract::ControlIndex::GetLastError, false) +
                ") failed. dwBytesReturned = " + std::to_string(returned),
            static_cast<std::uint32_t>(result), LEVEL_DEBUG);
    return static_cast<std::uint32_t>(result);
  }
  data.SetExtendedErrorCodes(record, returned);
  return 0;
}

std::uint32_t CControlThread::GetExtendedErrorCodesDirect(CControlData& data) {
  std::uint8_t record[kLastErrorSize] = {};
  platform::DWORD returned = 0;
  if (!DeviceIoControl(data.deviceHandle.load(),
                       ControlCodeOf(contract::ControlIndex::GetLastError, true), nullptr, 0,
                       record, sizeof record, &returned, nullptr)) {
    const platform::DWORD error = GetLastError();
    LogOnly("CControlThread::GetExtendedErrorCodesDirect()",
            "DeviceIoControl(" + DisplayNameOf(contract::ControlIndex::GetLastError, true) +
                ") failed. dwBytesReturned = " + std::to_string(returned),
            error, LEVEL_DEBUG);
    return error;
  }
  data.SetExtendedErrorCodes(record, returned);
  return 0;
}

void CControlThread::ThreadProc(std::shared_ptr<CControlData> data) {
  std::uint32_t exitCode = kWorkerExitNormal;
  try {
    ThreadLoop(*data);
  } catch (...) {
    std::uint32_t code = kWorkerEndedResult;
    try {
      throw;
    } catch (const CError& e) {
      if (e.GetCode() != 0) code = e.GetCode();
    } catch (...) {
    }
    LogOnly("CControlThread::ThreadProc()", "Unknown exception.", code);
    exitCode = kWorkerExitError;
    // A caller waiting for this request must not wait for ever.
    try {
      if (!data->completion.IsSet()) {
        data->resultCode = code;
        data->completion.Signal();
      }
    } catch (...) {
    }
  }
  std::uint32_t normal = kWorkerExitNormal;
  // A worker that was let go keeps the killed code.
  data->exitCode.compare_exchange_strong(normal, exitCode);
  try {
    data->WorkerEnded();
  } catch (...) {
  }
  try {
    data->exited.Signal();
  } catch (...) {
  }
}

void CControlThread::ThreadLoop(CControlData& data) {
  for (;;) {
    if (CSignal::WaitMultiple({&data.stop, &data.start}, INFINITE) < 0) continue;
    if (data.stop.IsSet()) {
      data.stop.Reset();
      data.completion.Signal();
      return;
    }
    data.start.Reset();

    std::uint8_t output[kOutputSize];
    const auto sendLength = static_cast<::DWORD>(data.request.size());
    const void* send = data.request.empty() ? nullptr : data.request.data();
    bool succeeded = false;
    std::size_t returned = 0;
    if (data.IsDirectPath()) {
      platform::DWORD count = 0;
      // Windows declares the input buffer writable; nothing writes it.
      succeeded = DeviceIoControl(data.deviceHandle.load(), data.controlCode,
                                  const_cast<void*>(send), static_cast<platform::DWORD>(sendLength),
                                  output, sizeof output, &count, nullptr);
      data.resultCode = succeeded ? 0 : GetLastError();
      returned = count;
    } else {
      ::DWORD count = 0;
      const ::LONG result = data.Library().Control(data.cardHandle.load(), data.controlCode, send,
                                                   sendLength, output, sizeof output, &count);
      data.resultCode = static_cast<std::uint32_t>(result);
      succeeded = result == SCARD_S_SUCCESS;
      returned = count;
    }
    if (succeeded) {
      const std::uint32_t query = GetExtendedErrorCodes(data);
      const std::int32_t status = data.extendedErrorCodes[0];
      if (query != 0) {
        data.resultCode = query;
      } else if (status != 0 && status != kNoCode) {
        // An empty last-error reply (kNoCode) reports no error.
        data.resultCode = PCSCEnumToCode(status);
        if (!data.IsDirectPath()) data.ForceDisconnectPCSC();
      } else {
        data.response.assign(output, output + std::min(returned, sizeof output));
      }
    }
    data.completion.Signal();
  }
}

}  // namespace qvx::brixon
