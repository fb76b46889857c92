// The service control manager is the system's own (winsvc.h).
#pragma once

#include "platform/os/WinTypes.h"

namespace platform {

using ::SC_HANDLE;
using ::SERVICE_STATUS;
using ::SERVICE_STATUS_HANDLE;
using ::SERVICE_TABLE_ENTRYA;

}  // namespace platform
