#include "host/Installation.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "endpoint/TlsContext.h"
#include "host/MachineKey.h"
#include "host/ServiceBase.h"
#include "platform/RootStore.h"
#include "platform/Service.h"
#include "platform/System.h"

namespace qvx::host {

using platform::AddServiceCredential;
using platform::DWORD;
using platform::SC_HANDLE;
using platform::SERVICE_STATUS;

namespace {

constexpr DWORD kStopPollMs = 1000;
// How long the installer's removal step waits for a stopped service's
// process to end, so that the program's file can go with the package.
constexpr DWORD kGonePollMs = 100;
constexpr DWORD kGoneLimitMs = 30000;
constexpr const char* kServiceAccount = "NT AUTHORITY\\LOCAL SERVICE";

// "<what> failed w/err 0x%08lx" with the thread's last error.
bool Fail(char* message, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, kMessageSize, format, arguments);
  va_end(arguments);
  return false;
}

// Closes a service handle on every way out.
class CServiceHandle {
 public:
  explicit CServiceHandle(SC_HANDLE handle) : m_handle(handle) {}
  ~CServiceHandle() {
    if (m_handle != nullptr) CloseServiceHandle(m_handle);
  }
  CServiceHandle(const CServiceHandle&) = delete;
  CServiceHandle& operator=(const CServiceHandle&) = delete;
  SC_HANDLE Get() const { return m_handle; }

 private:
  SC_HANDLE m_handle;
};

unsigned long LastError() { return GetLastError(); }

// brixwssvr.pem beside the program; false when the program's path is not known.
bool PemBesideProgram(std::string& pemPath) {
  char program[4096] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) return false;
  const std::string programPath(program);
  pemPath = programPath.substr(0, programPath.rfind(platform::kPathSeparator) + 1) +
            endpoint::kPemFileName;
  return true;
}

}  // namespace

bool SetUpService(char* message) {
  char program[4096] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) {
    return Fail(message, "GetModuleFileName failed w/err 0x%08lx", LastError());
  }
  CServiceHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (manager.Get() == nullptr) {
    return Fail(message, "OpenSCManager failed w/err 0x%08lx", LastError());
  }
  const std::string quotedPath = "\"" + std::string(program) + "\"";
  CServiceHandle service(CreateServiceA(
      manager.Get(), kServiceName, kServiceDisplayName,
      SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
      SERVICE_ERROR_NORMAL, quotedPath.c_str(), nullptr, nullptr, "", kServiceAccount, nullptr));
  if (service.Get() == nullptr) {
    return Fail(message, "CreateService failed w/err 0x%08lx", LastError());
  }
  // No two installations share a key: each machine makes its own, once.
  // Only once the service is new, so a second install that fails leaves
  // the installed service's key as it was.
  const std::string programPath(program);
  const std::string pemPath =
      programPath.substr(0, programPath.rfind(platform::kPathSeparator) + 1) +
      endpoint::kPemFileName;
  if (!EnsureMachineKey(pemPath, endpoint::PemPassPhrase())) {
    return Fail(message, "Creating %s failed w/err 0x%08lx", endpoint::kPemFileName, LastError());
  }
  // The key stays root's; the service reads the copy its unit hands it.
  if (!AddServiceCredential(service.Get(), endpoint::kPemFileName, pemPath.c_str())) {
    return Fail(message, "AddServiceCredential failed w/err 0x%08lx", LastError());
  }
  return true;
}

bool MakeInstalledKey(char* message) {
  std::string pemPath;
  if (!PemBesideProgram(pemPath)) {
    return Fail(message, "GetModuleFileName failed w/err 0x%08lx", LastError());
  }
  CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.Get() == nullptr) {
    return Fail(message, "OpenSCManager failed w/err 0x%08lx", LastError());
  }
  CServiceHandle service(
      OpenServiceA(manager.Get(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG));
  if (service.Get() == nullptr) {
    return Fail(message, "OpenService failed w/err 0x%08lx", LastError());
  }
  if (!EnsureMachineKey(pemPath, endpoint::PemPassPhrase())) {
    return Fail(message, "Creating %s failed w/err 0x%08lx", endpoint::kPemFileName, LastError());
  }
  if (!AddServiceCredential(service.Get(), endpoint::kPemFileName, pemPath.c_str())) {
    return Fail(message, "AddServiceCredential failed w/err 0x%08lx", LastError());
  }
  // The root of this machine's key, also the one an upgrade kept.
  std::ifstream file(pemPath, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  const std::string root = LocalRootPem(text.str());
  if (root.empty()) return Fail(message, "%s holds no local root", endpoint::kPemFileName);
  if (!platform::AddMachineRoot(root)) {
    return Fail(message, "Adding the local root failed w/err 0x%08lx", LastError());
  }
  return true;
}

bool RemoveInstalledKey(char* message) {
  std::string pemPath;
  if (!PemBesideProgram(pemPath)) {
    return Fail(message, "GetModuleFileName failed w/err 0x%08lx", LastError());
  }
  CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.Get() == nullptr) {
    return Fail(message, "OpenSCManager failed w/err 0x%08lx", LastError());
  }
  // The package stops and deletes the service first; one that still runs
  // is a newer version's, installed before this one goes (an upgrade), and
  // keeps the key and its root. A stopped one may linger, marked for
  // deletion, until its process has gone.
  {
    CServiceHandle service(OpenServiceA(manager.Get(), kServiceName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS status{};
    if (service.Get() != nullptr && QueryServiceStatus(service.Get(), &status) &&
        status.dwCurrentState == SERVICE_RUNNING) {
      return true;
    }
  }
  // A deleted service goes once its process has ended and no handle is
  // open (ours neither); past the limit the package goes on regardless.
  for (DWORD waited = 0; waited < kGoneLimitMs; waited += kGonePollMs) {
    CServiceHandle lingering(OpenServiceA(manager.Get(), kServiceName, SERVICE_QUERY_STATUS));
    if (lingering.Get() == nullptr) break;
    Sleep(kGonePollMs);
  }
  if (!platform::RemoveMachineRoots(kLocalRootName)) {
    return Fail(message, "Removing the local root failed w/err 0x%08lx", LastError());
  }
  // Gone already counts as removed: a repair or a second removal.
  if (std::remove(pemPath.c_str()) != 0 && errno != ENOENT) {
    return Fail(message, "Removing %s failed (%s)", endpoint::kPemFileName, std::strerror(errno));
  }
  return true;
}

bool RemoveService(char* message) {
  CServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (manager.Get() == nullptr) {
    return Fail(message, "OpenSCManager failed w/err 0x%08lx", LastError());
  }
  CServiceHandle service(
      OpenServiceA(manager.Get(), kServiceName, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (service.Get() == nullptr) {
    return Fail(message, "OpenService failed w/err 0x%08lx", LastError());
  }
  SERVICE_STATUS status{};
  if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
    // Not running is fine; a service that will not stop is not removed.
    while (status.dwCurrentState != SERVICE_STOPPED) {
      Sleep(kStopPollMs);
      if (!QueryServiceStatus(service.Get(), &status) ||
          status.dwCurrentState != SERVICE_STOP_PENDING) {
        break;
      }
    }
    if (status.dwCurrentState != SERVICE_STOPPED) {
      return Fail(message, "%s failed to stop.", kServiceName);
    }
  }
  if (!DeleteService(service.Get())) {
    return Fail(message, "DeleteService failed w/err 0x%08lx\n", LastError());
  }
  return true;
}

}  // namespace qvx::host
