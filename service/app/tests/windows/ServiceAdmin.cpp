#include "ServiceAdmin.h"

#include <chrono>
#include <memory>
#include <thread>

namespace qvx::testing {

namespace {

constexpr const char* kConnectorKey = "Software\\MERIDEL\\Quorvex2\\BRIXON";

struct HandleCloser {
  void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, HandleCloser>;

ServiceHandle Open(const std::string& name, DWORD access) {
  ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return nullptr;
  return ServiceHandle(OpenServiceA(manager.get(), name.c_str(), access));
}

bool SetValue(const char* keyPath, const char* name, const std::string& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG result = ERROR_SUCCESS;
  if (value.empty()) {
    result = RegDeleteValueA(key, name);
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  } else {
    result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
  }
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

}  // namespace

ServiceAdmin::Config ServiceAdmin::Configuration(const std::string& name) const {
  Config config;
  ServiceHandle service = Open(name, SERVICE_QUERY_CONFIG);
  if (!service) return config;
  DWORD needed = 0;
  QueryServiceConfigA(service.get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  auto* query = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (needed == 0 || !QueryServiceConfigA(service.get(), query, needed, &needed)) return config;
  config.exists = true;
  config.displayName = query->lpDisplayName != nullptr ? query->lpDisplayName : "";
  config.binaryPath = query->lpBinaryPathName != nullptr ? query->lpBinaryPathName : "";
  config.account = query->lpServiceStartName != nullptr ? query->lpServiceStartName : "";
  config.serviceType = query->dwServiceType;
  config.startType = query->dwStartType;
  return config;
}

bool ServiceAdmin::Start(const std::string& name) const {
  ServiceHandle service = Open(name, SERVICE_START);
  return service && StartServiceA(service.get(), 0, nullptr);
}

bool ServiceAdmin::Stop(const std::string& name) const {
  ServiceHandle service = Open(name, SERVICE_STOP);
  SERVICE_STATUS status{};
  return service && ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
}

DWORD ServiceAdmin::State(const std::string& name) const {
  ServiceHandle service = Open(name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status{};
  if (!service || !QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

bool ServiceAdmin::Remove(const std::string& name) const {
  ServiceHandle service = Open(name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
  if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
  SERVICE_STATUS status{};
  if (ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  return DeleteService(service.get()) != FALSE;
}

bool ServiceAdmin::SetLogDirectory(const std::string& folder) const {
  return SetValue(kConnectorKey, "WSSLogFilePath", folder);
}

}  // namespace qvx::testing
