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

// The running program's path; false when it is not known.
bool ProgramPath(std::string& path) {
  char program[4096] = {};
  const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) return false;
  path = program;
  return true;
}

// brixwssvr.pem beside the program.
std::string PemBeside(const std::string& programPath) {
  return programPath.substr(0, programPath.rfind(platform::kPathSeparator) + 1) +
         endpoint::kPemFileName;
}

// This machine's key beside the program (made once, kept after), handed to
// the service as its credential: the key stays root's, the service reads
// the copy its unit hands it.
bool GiveServiceTheKey(SC_HANDLE service, const std::string& pemPath, char* message) {
  if (!EnsureMachineKey(pemPath, endpoint::PemPassPhrase())) {
    return Fail(message, "Creating %s failed w/err 0x%08lx", endpoint::kPemFileName, LastError());
  }
  if (!AddServiceCredential(service, endpoint::kPemFileName, pemPath.c_str())) {
    return Fail(message, "AddServiceCredential failed w/err 0x%08lx", LastError());
  }
  return true;
}

// The installed service's key file and a connection to the service manager,
// for the installer's key steps.
bool OpenForKeyStep(std::string& pemPath, SC_HANDLE& manager, char* message) {
  std::string program;
  if (!ProgramPath(program)) {
    return Fail(message, "GetModuleFileName failed w/err 0x%08lx", LastError());
  }
  pemPath = PemBeside(program);
  manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) {
    return Fail(message, "OpenSCManager failed w/err 0x%08lx", LastError());
  }
  return true;
}

}  // namespace

bool SetUpService(char* message) {
  std::string program;
  if (!ProgramPath(program)) {
    return Fail(message, "GetModuleFileName failed w/err 0x%08lx", LastError());
  }
  CServiceHandle manager(
      OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (manager.Get() == nullptr) {
    return Fail(message, "OpenSCManager failed w/err 0x%08lx", LastError());
  }
  const std::string quotedPath = "\"" + program + "\"";
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
  return GiveServiceTheKey(service.Get(), PemBeside(program), message);
}

bool MakeInstalledKey(char* message) {
  std::string pemPath;
  SC_HANDLE opened = nullptr;
  const bool ready = OpenForKeyStep(pemPath, opened, message);
  CServiceHandle manager(opened);
  if (!ready) return false;
  CServiceHandle service(
      OpenServiceA(manager.Get(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG));
  if (service.Get() == nullptr) {
    return Fail(message, "OpenService failed w/err 0x%08lx", LastError());
  }
  if (!GiveServiceTheKey(service.Get(), pemPath, message)) return false;
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
  SC_HANDLE opened = nullptr;
  const bool ready = OpenForKeyStep(pemPath, opened, message);
  CServiceHandle manager(opened);
  if (!ready) return false;
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
