#include "brixon/ControlData.h"

#include <iomanip>
#include <sstream>

#include "brixon/Error.h"
#include "command/ErrorCodes.h"
#include "platform/System.h"

namespace qvx::brixon {

CControlData::CControlData(std::shared_ptr<platform::ISCard> library, bool directPath)
    : m_library(std::move(library)), m_directPath(directPath) {}

CControlData::~CControlData() {
  // The reader cancel signal first, then the other signals in reverse
  // order of their declaration (by the compiler).
  readerCancelSignal.reset();
}

void CControlData::SetRequest(std::uint32_t code, const std::string& name, const Bytes& input) {
  controlCode = code;
  displayName = name;
  request = input;
  response.clear();
  extendedErrorCodes = {kNoCode, kNoCode, kNoCode, kNoCode};
  resultCode = kNoResult;
  completion.Reset();
}

void CControlData::SetExtendedErrorCodes(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count && i < extendedErrorCodes.size(); ++i) {
    extendedErrorCodes[i] = bytes[i];
  }
}

std::string CControlData::GetExtendedErrorText() {
  std::ostringstream text;
  text << std::uppercase << std::hex << std::setfill('0');
  if (extendedErrorCodes[0] != kNoCode) {
    text << " Extended error codes: (0x" << std::setw(2) << extendedErrorCodes[0];
    for (std::size_t i = 1; i < extendedErrorCodes.size() && extendedErrorCodes[i] != kNoCode;
         ++i) {
      text << ", 0x" << std::setw(2) << extendedErrorCodes[i];
    }
    text << ")";
  }
  const std::int32_t detail = extendedErrorCodes[1];
  if (detail != 0 && detail != kNoCode) {
    if (const DeviceErrorRow* row = FindDeviceError(static_cast<std::uint8_t>(detail))) {
      deviceError = DeviceErrorEntry{row->name, row->code, row->description};
      text << ":(ExtErr2 :0x" << std::setw(2) << detail << "," << row->name << ","
           << row->description << ")";
    }
  }
  return text.str();
}

void CControlData::ForceDisconnectPCSC() {
  const ::SCARDHANDLE card = cardHandle.exchange(0);
  if (card == 0) return;
  // Gives the driver time to finish with the failed request.
  Sleep(75);
  const ::LONG result = m_library->Disconnect(card, SCARD_LEAVE_CARD);
  if (result != SCARD_S_SUCCESS) {
    CError("CPCSC::ForceDisconnectPCSC()", "SCardDisconnect() failed.",
           static_cast<std::uint32_t>(result));
  }
}

}  // namespace qvx::brixon

namespace qvx::brixon {

bool CControlData::HandOverToWorker(::SCARDCONTEXT context) {
  std::lock_guard<std::mutex> lock(m_handOver);
  if (m_workerEnded) return false;
  m_handedOver = true;
  m_context = context;
  return true;
}

void CControlData::WorkerStarting() {
  std::lock_guard<std::mutex> lock(m_handOver);
  m_workerEnded = false;
  m_handedOver = false;
  m_context = 0;
}

void CControlData::WorkerEnded() {
  ::SCARDCONTEXT context = 0;
  {
    std::lock_guard<std::mutex> lock(m_handOver);
    m_workerEnded = true;
    if (!m_handedOver) return;
    context = m_context;
  }
  if (m_directPath) {
    if (platform::HDEVICE device = deviceHandle.exchange(nullptr)) CloseHandle(device);
    return;
  }
  if (const ::SCARDHANDLE card = cardHandle.exchange(0))
    m_library->Disconnect(card, SCARD_LEAVE_CARD);
  if (context != 0) m_library->ReleaseContext(context);
}

}  // namespace qvx::brixon
