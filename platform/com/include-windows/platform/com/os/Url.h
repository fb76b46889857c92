// UrlGetPartW is the system's (shlwapi.h).
#pragma once

#include <shlwapi.h>

#include "platform/com/os/ComTypes.h"
