// The service control manager in Win32 shape (StartServiceCtrlDispatcher,
// SetServiceStatus, CreateService, ControlService, ...), and the platform's
// helper that hands an installed service its private key file.
#pragma once

#include "platform/os/Service.h"

namespace platform {

// Gives the service read access to a file nobody else may read. Linux: the
// unit loads the file at each start (systemd's LoadCredential=) and the
// service finds it as `name` in the directory $CREDENTIALS_DIRECTORY names.
// Windows: the file's access list grants the service's account read access
// beside SYSTEM and the administrators, and no one else. Needs
// SERVICE_CHANGE_CONFIG; path is absolute.
bool AddServiceCredential(SC_HANDLE service, const char* name, const char* path);

}  // namespace platform
