// CServiceBrixon: the connector service. Start queues the endpoint worker,
// which serves the secure WebSocket endpoint; stop cancels a pending device
// command and ends the endpoint.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "endpoint/WssServer.h"
#include "host/ServiceBase.h"

namespace qvx::host {

class CServiceBrixon : public CServiceBase {
 public:
  explicit CServiceBrixon(endpoint::WssSettings settings = {});
  // Ends the endpoint if it still serves and waits for its worker.
  ~CServiceBrixon() override;

 protected:
  void DoStart(platform::DWORD argc, char** argv) override;
  void DoStop() override;

 private:
  static platform::DWORD WINAPI EndpointWorker(void* self);
  void ServeEndpoint();

  const std::uint16_t m_workerCount = 10;
  bool m_secure = false;
  const endpoint::WssSettings m_settings;

  // Shared between the control thread and the endpoint worker.
  std::mutex m_mutex;
  std::condition_variable m_workerEnded;
  std::unique_ptr<endpoint::CWssServer> m_runner;
  int m_stopping = 0;
  bool m_workerRunning = false;
};

}  // namespace qvx::host
