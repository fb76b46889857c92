// The installed service's key file: the service runs as the local service
// account, which reads the file; nobody else but SYSTEM and the
// administrators may.
#include "files/AccessList.h"
#include "platform/Service.h"

namespace platform {

bool AddServiceCredential(SC_HANDLE service, const char*, const char* path) {
  if (service == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  const DWORD result = detail::ProtectFile(path, true);
  if (result == ERROR_SUCCESS) return true;
  ::SetLastError(result);
  return false;
}

}  // namespace platform
