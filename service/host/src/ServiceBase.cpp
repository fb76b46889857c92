#include "host/ServiceBase.h"

#include <atomic>

namespace qvx::host {

using platform::DWORD;
using platform::SERVICE_STATUS;
using platform::SERVICE_TABLE_ENTRYA;

namespace {

std::atomic<CServiceBase*> gService{nullptr};
std::atomic<DWORD> gCheckPoint{1};

}  // namespace

CServiceBase::CServiceBase(protocol::CommandFactory commandFactory)
    : m_status{SERVICE_WIN32_OWN_PROCESS,
               SERVICE_START_PENDING,
               SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN,
               0,
               0,
               0,
               0},
      m_commandFactory(std::move(commandFactory)) {}

CServiceBase::~CServiceBase() {
  CServiceBase* self = this;
  gService.compare_exchange_strong(self, nullptr);
}

bool CServiceBase::Dispatch() {
  gService = this;
  // The table's name is not const in the Windows headers; nothing writes it.
  const SERVICE_TABLE_ENTRYA table[] = {
      {const_cast<char*>(m_serviceName), &CServiceBase::ServiceEntry}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table);
}

void WINAPI CServiceBase::ServiceEntry(DWORD argc, char** argv) {
  CServiceBase* service = gService;
  if (service == nullptr) return;
  service->m_statusHandle = RegisterServiceCtrlHandlerA(service->m_serviceName, &ControlHandler);
  // Without a handler there is no status to report through: returning
  // leaves the dispatcher to record the service stopped with this error.
  if (service->m_statusHandle == nullptr) return;
  service->RunStart(argc, argv);
}

void WINAPI CServiceBase::ControlHandler(DWORD control) {
  CServiceBase* service = gService;
  if (service == nullptr) return;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      service->RunStop();
      break;
    case SERVICE_CONTROL_PAUSE:
      service->RunPause();
      break;
    case SERVICE_CONTROL_CONTINUE:
      service->RunContinue();
      break;
    case SERVICE_CONTROL_SHUTDOWN:
      service->RunShutdown();
      break;
    default:
      break;
  }
}

void CServiceBase::RunStart(DWORD argc, char** argv) {
  try {
    ReportStatus(SERVICE_START_PENDING);
    DoStart(argc, argv);
    ReportStatus(SERVICE_RUNNING);
  } catch (const CSystemError& error) {
    ReportStatus(SERVICE_STOPPED, error.Code());
  } catch (...) {
    ReportStatus(SERVICE_STOPPED);
  }
}

void CServiceBase::RunStop() {
  const DWORD previous = Status().dwCurrentState;
  try {
    ReportStatus(SERVICE_STOP_PENDING);
    DoStop();
    ReportStatus(SERVICE_STOPPED);
  } catch (...) {
    ReportStatus(previous);
  }
}

void CServiceBase::RunPause() {
  try {
    ReportStatus(SERVICE_PAUSE_PENDING);
    DoPause();
    ReportStatus(SERVICE_PAUSED);
  } catch (...) {
    ReportStatus(SERVICE_RUNNING);
  }
}

void CServiceBase::RunContinue() {
  try {
    ReportStatus(SERVICE_CONTINUE_PENDING);
    DoContinue();
    ReportStatus(SERVICE_RUNNING);
  } catch (...) {
    ReportStatus(SERVICE_PAUSED);
  }
}

void CServiceBase::RunShutdown() {
  try {
    DoShutdown();
    ReportStatus(SERVICE_STOPPED);
  } catch (...) {
  }
}

void CServiceBase::ReportStatus(DWORD state, DWORD exitCode, DWORD waitHint) {
  std::lock_guard<std::mutex> lock(m_statusMutex);
  m_status.dwCurrentState = state;
  m_status.dwWin32ExitCode = exitCode;
  m_status.dwWaitHint = waitHint;
  m_status.dwCheckPoint =
      state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : gCheckPoint.fetch_add(1);
  if (m_statusHandle != nullptr) SetServiceStatus(m_statusHandle, &m_status);
}

SERVICE_STATUS CServiceBase::Status() const {
  std::lock_guard<std::mutex> lock(m_statusMutex);
  return m_status;
}

void CServiceBase::DoStart(DWORD, char**) {}
void CServiceBase::DoStop() {}
void CServiceBase::DoPause() {}
void CServiceBase::DoContinue() {}

void CServiceBase::DoShutdown() {
  const std::unique_ptr<CQuorvex2> command = m_commandFactory();
  command->Cancel();
}

}  // namespace qvx::host
