// Installing, controlling and removing services: units in the unit
// directory, the running service found through its state file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/Service.h"
#include "platform/posix/UniqueFd.h"
#include "service/ServiceFiles.h"
#include "system/PlatformError.h"

namespace platform {

struct ServiceObject {
  bool manager = false;
  std::string name;  // services only
  DWORD access = 0;
};

namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      detail::ThrowErrno(errno);
    }
    done += static_cast<std::size_t>(n);
  }
}

// Changing units needs a unit directory we may write to.
void CheckUnitDirectory(bool forWriting) {
  const std::string directory = ServiceUnitDirectory();
  struct stat st {};
  if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    detail::ThrowError(ERROR_PATH_NOT_FOUND);
  }
  if (forWriting && ::access(directory.c_str(), W_OK | X_OK) != 0) {
    detail::ThrowErrno(errno);
  }
}

ServiceObject& Checked(SC_HANDLE handle, bool manager) {
  if (handle == nullptr || handle->manager != manager) detail::ThrowError(ERROR_INVALID_HANDLE);
  return *handle;
}

bool UnitExists(const std::string& name) {
  struct stat st {};
  return ::lstat(detail::UnitFilePath(name).c_str(), &st) == 0;
}

// The last status of the service; stopped when no process of it runs.
SERVICE_STATUS CurrentStatus(const std::string& name, pid_t* pid = nullptr) {
  detail::StateRecord record;
  if (!detail::ReadState(name, record) || !detail::ProcessAlive(record.pid)) {
    record = detail::StateRecord{};
    record.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    record.status.dwCurrentState = SERVICE_STOPPED;
  }
  if (pid != nullptr) *pid = record.pid;
  return record.status;
}

}  // namespace

SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD access) {
  return detail::AtEdge<SC_HANDLE>(nullptr, [&] {
    if (machineName != nullptr || databaseName != nullptr) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    CheckUnitDirectory((access & SC_MANAGER_CREATE_SERVICE) != 0);
    return new ServiceObject{true, {}, access};
  });
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* serviceName, const char* displayName,
                         DWORD desiredAccess, DWORD /*serviceType*/, DWORD startType,
                         DWORD /*errorControl*/, const char* binaryPathName,
                         const char* /*loadOrderGroup*/, DWORD* tagId, const char* /*dependencies*/,
                         const char* serviceStartName, const char* /*password*/) {
  return detail::AtEdge<SC_HANDLE>(nullptr, [&] {
    const ServiceObject& scm = Checked(manager, true);
    if ((scm.access & SC_MANAGER_CREATE_SERVICE) == 0) detail::ThrowError(ERROR_ACCESS_DENIED);
    if (serviceName == nullptr || serviceName[0] == '\0' || binaryPathName == nullptr ||
        std::string(serviceName).find('/') != std::string::npos) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    if (tagId != nullptr) *tagId = 0;
    detail::UnitDescription unit;
    unit.serviceName = serviceName;
    unit.displayName = displayName != nullptr ? displayName : serviceName;
    unit.binaryPath = binaryPathName;
    unit.startType = startType;
    unit.account = serviceStartName != nullptr ? serviceStartName : "";

    const std::string path = detail::UnitFilePath(serviceName);
    UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file.Valid()) {
      detail::ThrowError(errno == EEXIST ? ERROR_SERVICE_EXISTS : detail::ErrorFromErrno(errno));
    }
    try {
      WriteAll(file.Get(), detail::RenderUnit(unit));
      if (::close(file.Release()) != 0) detail::ThrowErrno(errno);
      if (detail::SystemdManagesUnits()) {
        const std::string unitName = unit.serviceName + ".service";
        if (!detail::RunSystemctl({"daemon-reload"}) ||
            (startType == SERVICE_AUTO_START && !detail::RunSystemctl({"enable", unitName}))) {
          detail::ThrowError(ERROR_GEN_FAILURE);
        }
      }
    } catch (...) {
      // A half-made service would block the next installation.
      ::unlink(path.c_str());
      throw;
    }
    return new ServiceObject{false, serviceName, desiredAccess};
  });
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD desiredAccess) {
  return detail::AtEdge<SC_HANDLE>(nullptr, [&] {
    Checked(manager, true);
    if (serviceName == nullptr || std::string(serviceName).find('/') != std::string::npos ||
        !UnitExists(serviceName)) {
      detail::ThrowError(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    if ((desiredAccess & DELETE) != 0) CheckUnitDirectory(true);
    return new ServiceObject{false, serviceName, desiredAccess};
  });
}

bool ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  return detail::AtEdge(false, [&] {
    const ServiceObject& object = Checked(service, false);
    if (control != SERVICE_CONTROL_STOP) detail::ThrowError(ERROR_INVALID_SERVICE_CONTROL);
    if ((object.access & SERVICE_STOP) == 0) detail::ThrowError(ERROR_ACCESS_DENIED);
    pid_t pid = 0;
    const SERVICE_STATUS current = CurrentStatus(object.name, &pid);
    if (current.dwCurrentState == SERVICE_STOPPED) detail::ThrowError(ERROR_SERVICE_NOT_ACTIVE);
    if ((current.dwControlsAccepted & SERVICE_ACCEPT_STOP) == 0) {
      detail::ThrowError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
    }
    if (detail::SystemdManagesUnits()) {
      if (!detail::RunSystemctl({"stop", "--no-block", object.name + ".service"})) {
        detail::ThrowError(ERROR_GEN_FAILURE);
      }
    } else if (::kill(pid, SIGTERM) != 0) {
      detail::ThrowErrno(errno);
    }
    if (status != nullptr) *status = CurrentStatus(object.name);
    return true;
  });
}

bool QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) {
  return detail::AtEdge(false, [&] {
    const ServiceObject& object = Checked(service, false);
    if (status == nullptr) detail::ThrowError(ERROR_INVALID_PARAMETER);
    *status = CurrentStatus(object.name);
    return true;
  });
}

bool DeleteService(SC_HANDLE service) {
  return detail::AtEdge(false, [&] {
    const ServiceObject& object = Checked(service, false);
    if ((object.access & DELETE) == 0) detail::ThrowError(ERROR_ACCESS_DENIED);
    const std::string unit = object.name + ".service";
    if (detail::SystemdManagesUnits()) detail::RunSystemctl({"disable", unit});
    if (::unlink(detail::UnitFilePath(object.name).c_str()) != 0) {
      detail::ThrowError(errno == ENOENT ? ERROR_SERVICE_DOES_NOT_EXIST
                                         : detail::ErrorFromErrno(errno));
    }
    if (detail::SystemdManagesUnits()) detail::RunSystemctl({"daemon-reload"});
    return true;
  });
}

bool AddServiceCredential(SC_HANDLE service, const char* name, const char* path) {
  return detail::AtEdge(false, [&] {
    const ServiceObject& object = Checked(service, false);
    if ((object.access & SERVICE_CHANGE_CONFIG) == 0) detail::ThrowError(ERROR_ACCESS_DENIED);
    if (name == nullptr || path == nullptr || path[0] != '/' || !detail::IsCredentialName(name) ||
        std::string(path).find('\n') != std::string::npos) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    const std::string unitPath = detail::UnitFilePath(object.name);
    std::string text;
    if (!detail::ReadWholeFile(unitPath, text)) detail::ThrowError(ERROR_SERVICE_DOES_NOT_EXIST);
    text = detail::WithCredential(text, name, path);
    // Replaced in one rename: systemd never reads half a unit.
    const std::string temporary = unitPath + ".new";
    UniqueFd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.Valid()) detail::ThrowErrno(errno);
    try {
      WriteAll(file.Get(), text);
      if (::fchmod(file.Get(), 0644) != 0 || ::close(file.Release()) != 0) {
        detail::ThrowErrno(errno);
      }
      if (::rename(temporary.c_str(), unitPath.c_str()) != 0) detail::ThrowErrno(errno);
    } catch (...) {
      ::unlink(temporary.c_str());
      throw;
    }
    if (detail::SystemdManagesUnits() && !detail::RunSystemctl({"daemon-reload"})) {
      detail::ThrowError(ERROR_GEN_FAILURE);
    }
    return true;
  });
}

bool CloseServiceHandle(SC_HANDLE handle) {
  return detail::AtEdge(false, [&] {
    if (handle == nullptr) detail::ThrowError(ERROR_INVALID_HANDLE);
    delete handle;
    return true;
  });
}

}  // namespace platform
