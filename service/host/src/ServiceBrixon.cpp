#include "host/ServiceBrixon.h"

#include <chrono>

#include "command/Log.h"
#include "host/ServiceOptions.h"

namespace qvx::host {

using platform::DWORD;

namespace {

// How long a stop waits for the cancelled command to hand over its reply.
constexpr std::chrono::milliseconds kReplyLimit{3000};

void LogInfo(CLog& log, const std::string& message) {
  log.Append(CReport::WithMessage(kStatusSuccess, LEVEL_INFO, "", message));
}

}  // namespace

CServiceBrixon::CServiceBrixon(endpoint::WssSettings settings)
    : CServiceBase(settings.commandFactory), m_settings(std::move(settings)) {}

CServiceBrixon::~CServiceBrixon() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_stopping = 1;
  if (m_runner) m_runner->Stop();
  m_workerEnded.wait(lock, [this] { return !m_workerRunning; });
}

void CServiceBrixon::DoStart(DWORD, char**) {
  CLog log;
  log.Append(std::string());
  LogInfo(log, "[WSS] Service is started. [" + VersionText() + "]");
  std::lock_guard<std::mutex> lock(m_mutex);
  m_workerRunning = true;
  if (!QueueUserWorkItem(&CServiceBrixon::EndpointWorker, this, WT_EXECUTELONGFUNCTION)) {
    m_workerRunning = false;
    throw CSystemError(GetLastError());
  }
}

DWORD WINAPI CServiceBrixon::EndpointWorker(void* self) {
  auto* service = static_cast<CServiceBrixon*>(self);
  service->ServeEndpoint();
  // Last touch of the object: the destructor may run once this is seen.
  std::lock_guard<std::mutex> lock(service->m_mutex);
  service->m_workerRunning = false;
  service->m_workerEnded.notify_all();
  return 0;
}

void CServiceBrixon::ServeEndpoint() {
  endpoint::CWssServer* runner = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping) return;
    m_secure = true;
    m_runner = std::make_unique<endpoint::CWssServer>(m_workerCount, m_settings);
    runner = m_runner.get();
  }
  bool served = false;
  try {
    served = runner->Run();
  } catch (...) {
    // The network loop itself failed: treated like a port that could not
    // be served.
  }
  bool stopping = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    stopping = m_stopping != 0;
  }
  // No port could be served: the service stops itself, unless a stop is
  // already under way.
  if (!served && !stopping) RunStop();
}

void CServiceBrixon::DoStop() {
  CLog log;
  const std::unique_ptr<CQuorvex2> command = CommandFactory()();
  command->Cancel();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stopping = 1;
  if (m_runner) {
    // The cancelled command's page gets its reply before the endpoint goes.
    m_runner->WaitIdle(kReplyLimit);
    m_runner->Stop();
  }
  LogInfo(log, "[WSS] Service is stopped.");
}

}  // namespace qvx::host
