// The direct device path in Win32 shape: device interfaces (SetupAPI),
// device files (CreateFileA) and control requests (DeviceIoControl); and the
// platform version query (GetVersionExA) that selects the path.
#pragma once

#include "platform/Guid.h"
#include "platform/os/DeviceIo.h"
