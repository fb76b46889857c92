// CServiceBase: a service in the service manager's terms. It reports the
// status around each control and maps the controls to virtual operations.
#pragma once

#include <cstdint>
#include <exception>
#include <mutex>

#include "platform/Service.h"
#include "protocol/DispatchCommand.h"

namespace qvx::host {

constexpr const char* kServiceName = "brixwssvr";
constexpr const char* kServiceDisplayName = "Quorvex2 Connector Service";

// Raised by an operation that fails with a system error code; RunStart
// reports it as the service's exit code.
class CSystemError : public std::exception {
 public:
  explicit CSystemError(platform::DWORD code) : m_code(code) {}
  platform::DWORD Code() const { return m_code; }
  const char* what() const noexcept override { return "system error"; }

 private:
  platform::DWORD m_code;
};

class CServiceBase {
 public:
  explicit CServiceBase(protocol::CommandFactory commandFactory = protocol::SystemCommandFactory());
  virtual ~CServiceBase();
  CServiceBase(const CServiceBase&) = delete;
  CServiceBase& operator=(const CServiceBase&) = delete;

  // Publishes this object as the process's service and runs the dispatcher;
  // false when the process was not started by a service manager.
  bool Dispatch();

  void RunStart(platform::DWORD argc, char** argv);
  void RunStop();
  void RunPause();
  void RunContinue();
  void RunShutdown();

  void ReportStatus(platform::DWORD state, platform::DWORD exitCode = 0,
                    platform::DWORD waitHint = 0);

  // The last status reported.
  platform::SERVICE_STATUS Status() const;

 protected:
  virtual void DoStart(platform::DWORD argc, char** argv);
  virtual void DoStop();
  virtual void DoPause();
  virtual void DoContinue();
  // Ends a device command that waits for the customer.
  virtual void DoShutdown();

  const protocol::CommandFactory& CommandFactory() const { return m_commandFactory; }

 private:
  static void WINAPI ServiceEntry(platform::DWORD argc, char** argv);
  static void WINAPI ControlHandler(platform::DWORD control);

  const char* const m_serviceName = kServiceName;
  mutable std::mutex m_statusMutex;  // the control and worker threads both report
  platform::SERVICE_STATUS m_status;
  platform::SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
  const protocol::CommandFactory m_commandFactory;
};

}  // namespace qvx::host
