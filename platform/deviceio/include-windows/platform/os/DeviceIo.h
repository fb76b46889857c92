// SetupAPI, device files, DeviceIoControl and GetVersionExA are the
// system's own. A device file is a handle like any other.
#pragma once

#include "platform/os/WinTypes.h"
//
#include <setupapi.h>

namespace platform {

using HDEVICE = ::HANDLE;
using ::HDEVINFO;
using ::OSVERSIONINFOA;
using ::SP_DEVICE_INTERFACE_DATA;
using ::SP_DEVICE_INTERFACE_DETAIL_DATA_A;
using ::SP_DEVINFO_DATA;

}  // namespace platform
