// The registry in Win32 shape: RegOpenKeyEx, RegCreateKeyEx, RegQueryValueEx,
// RegSetValueEx, RegDeleteValue, RegDeleteTree, RegCloseKey.
#pragma once

#include "platform/os/Registry.h"
