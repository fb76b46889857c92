// The reader channel over PC/SC. Every failure that ends a command is
// raised as a CReport; clean-up failures are only logged.
#include "command/Reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "command/Error.h"
#include "contract/LastError.h"
#include "contract/ReaderName.h"
#include "platform/System.h"

namespace qvx {
namespace {

// The first byte of the driver's last-error record for a failed device.
constexpr std::uint8_t kDeviceErrorCategory = 3;

[[noreturn]] void RaiseCodeFailure(std::uint32_t code, const std::string& source) {
  const CError error(code);
  throw CReport::WithMessage(error.GetStatus(), LEVEL_ERROR, source, error.Message());
}

CReport SCardFailureReport(LONG result, const std::string& source) {
  const CError error(static_cast<std::uint32_t>(result));
  return CReport::WithMessage(error.GetStatus(), LEVEL_ERROR, source, error.Message());
}

[[noreturn]] void RaiseSCardFailure(LONG result, const std::string& source) {
  RaiseCodeFailure(static_cast<std::uint32_t>(result), source);
}

[[noreturn]] void RaiseSystemFailure(const std::string& source, platform::DWORD lastError) {
  throw CReport(kStatusCommunicationError, LEVEL_ERROR, source, " Error: %d",
                static_cast<int>(lastError));
}

}  // namespace

CReader::CReader(platform::ISCard& scard, CLog& log) : m_scard(scard), m_log(log) {}

CReader::~CReader() {
  Close(true);
  ReleaseContext();
}

void CReader::EstablishContext() {
  const LONG result = m_scard.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &m_context);
  if (result != SCARD_S_SUCCESS) {
    m_context = 0;
    m_log.Append(
        SCardFailureReport(result, "EstablishContext() => SCardEstablishContext() failed."));
  }
}

const std::string& CReader::GetReaderName() {
  if (!m_readerName.empty()) return m_readerName;

  const LONG result = FindReaderName(m_scard, m_context, m_readerName);
  if (result != SCARD_S_SUCCESS) {
    RaiseSCardFailure(result, "GetReaderName() => SCardListReaders() failed.");
  }
  if (m_readerName.empty()) {
    RaiseCodeFailure(static_cast<std::uint32_t>(SCARD_E_READER_UNAVAILABLE), "GetReaderName()");
  }
  return m_readerName;
}

void CReader::Open() {
  const std::string& readerName = GetReaderName();
  const LONG result = ConnectDirectShare(m_scard, m_context, readerName, m_card,
                                         [this] { ForceCancelOtherSession(); });
  if (result != SCARD_S_SUCCESS) {
    RaiseSCardFailure(result, "CReader::Open() => SCardConnect() failed.");
  }

  if (!m_cancelEvent) {
    m_cancelEvent = CEventHandle(
        CreateEvent(nullptr, true, false, contract::CancelEventName(readerName).c_str()));
    if (!m_cancelEvent) {
      const platform::DWORD lastError = GetLastError();
      // Not left connected when Open fails halfway.
      Close(false);
      RaiseSystemFailure("CReader::Open() => CreateEvent() failed.", lastError);
    }
  }
}

void CReader::ForceCancelOtherSession() {
  if (m_cancelEvent) return;
  m_cancelEvent = CEventHandle(OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false,
                                         contract::CancelEventName(GetReaderName()).c_str()));
  if (!m_cancelEvent) return;  // nobody is waiting on this reader
  if (!SetEvent(m_cancelEvent.Get())) {
    RaiseSystemFailure("CReader::ForceCancelOtherSession() => SetEvent() failed.", GetLastError());
  }
}

void CReader::ExecuteSCardCMD(contract::ControlIndex index, const Bytes& request, Bytes& answer) {
  const contract::ControlCodeRow& control = contract::ControlCode(index);
  const std::string source =
      std::string("CReader::ExecuteSCardCMD() => SCardControl(") + control.name + ") failed.";

  Open();
  std::array<std::uint8_t, kAnswerBufferSize> buffer{};
  ::DWORD answerLength = 0;
  try {
    LONG result = m_scard.Control(m_card, control.pcscCode, request.data(),
                                  static_cast<::DWORD>(request.size()), buffer.data(),
                                  static_cast<::DWORD>(buffer.size()), &answerLength);
    if (result != SCARD_S_SUCCESS) RaiseSCardFailure(result, source);

    const contract::ControlCodeRow& lastErrorControl =
        contract::ControlCode(contract::ControlIndex::GetLastError);
    contract::LastErrorRecord record{};
    ::DWORD recordLength = 0;
    result = m_scard.Control(m_card, lastErrorControl.pcscCode, nullptr, 0, record.data(),
                             static_cast<::DWORD>(record.size()), &recordLength);
    if (result != SCARD_S_SUCCESS) {
      const std::string lastErrorSource =
          std::string("CReader::ExecuteSCardCMD() => SCardControl(") + lastErrorControl.name +
          ") failed.";
      // The reader was there for the request and is gone before its record:
      // the device was pulled out under the request, whose outcome is lost.
      // pcscd says READER_UNAVAILABLE while it removes the reader, and
      // INVALID_VALUE once the handle's reader no longer exists (the
      // parameterless GetLastError has nothing else to be invalid).
      if (result == SCARD_E_READER_UNAVAILABLE || result == SCARD_E_INVALID_VALUE) {
        RaiseCodeFailure(ExtendedErrorCode(kDeviceErrorCategory),
                         lastErrorSource + " The reader went away during the request.");
      }
      RaiseSCardFailure(result, lastErrorSource);
    }

    std::uint8_t errorByte = 0;
    const std::size_t scanned = std::min<std::size_t>(recordLength, record.size());
    for (std::size_t i = 0; i < scanned && errorByte == 0; ++i) errorByte = record[i];

    if (errorByte != 0) {
      char extended[64];
      std::snprintf(extended, sizeof(extended),
                    "Extended error codes: (0x%.2x, 0x%.2x, 0x%.2x, 0x%.2x)", record[0], record[1],
                    record[2], record[3]);
      const std::string failure = source + " " + extended;
      const std::uint32_t code = ExtendedErrorCode(errorByte);
      if (code != 0) RaiseCodeFailure(code, failure);
      // A category the table does not know is still a failure.
      throw CReport::WithMessage(kStatusCommunicationError, LEVEL_ERROR, failure, "");
    }
  } catch (...) {
    Close(false);
    throw;
  }
  Close(false);
  answer.assign(buffer.begin(),
                buffer.begin() + std::min<std::size_t>(answerLength, buffer.size()));
}

Bytes CReader::Execute(contract::ControlIndex index, const Bytes& request) {
  Bytes answer;
  ExecuteSCardCMD(index, request, answer);
  return answer;
}

void CReader::Close(bool silent) noexcept {
  m_cancelEvent.Reset();
  if (m_card == 0) return;
  const LONG result = m_scard.Disconnect(m_card, SCARD_LEAVE_CARD);
  m_card = 0;
  if (result == SCARD_S_SUCCESS || silent) return;
  try {
    m_log.Append(SCardFailureReport(result, "Close() => SCardDisconnect() failed."));
  } catch (...) {
    // Logging must not turn a clean-up into a failure.
  }
}

void CReader::ReleaseContext() noexcept {
  if (m_context == 0) return;
  const LONG result = m_scard.ReleaseContext(m_context);
  m_context = 0;
  if (result == SCARD_S_SUCCESS) return;
  try {
    m_log.Append(SCardFailureReport(result, "ReleaseContext() => SCardReleaseContext() failed."));
  } catch (...) {
    // Logging must not turn a clean-up into a failure.
  }
}

}  // namespace qvx
