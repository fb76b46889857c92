// Object creation is the system's (combaseapi.h).
#pragma once

#include <objbase.h>

#include "platform/com/os/Unknown.h"
