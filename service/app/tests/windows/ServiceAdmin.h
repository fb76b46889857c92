// What an administrator does around a Windows service, for the tests: the
// service control manager's calls and the log folder the connector reads
// from the registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvx::testing {

class ServiceAdmin {
 public:
  struct Config {
    bool exists = false;
    std::string displayName;
    std::string binaryPath;
    std::string account;
    DWORD serviceType = 0;
    DWORD startType = 0;
  };

  Config Configuration(const std::string& name) const;
  bool Start(const std::string& name) const;
  bool Stop(const std::string& name) const;
  // SERVICE_RUNNING, SERVICE_STOPPED, ...; 0 when there is no such service.
  DWORD State(const std::string& name) const;
  // Stops the service if it runs and deletes it; true when it is gone.
  bool Remove(const std::string& name) const;

  // The connector's WSSLogFilePath; an empty folder removes the value.
  bool SetLogDirectory(const std::string& folder) const;
};

}  // namespace qvx::testing
