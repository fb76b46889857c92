// UrlGetPartW: one component of a URL; the system's (shlwapi), or the
// Linux layer's (platform/com/os).
#pragma once

#include "platform/com/ComTypes.h"
#include "platform/com/os/Url.h"
