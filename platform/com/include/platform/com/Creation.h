// Creating objects by ProgID and class id: the system's (combaseapi.h), or
// the Linux layer's over its classes registry (platform/com/os).
#pragma once

#include "platform/com/Unknown.h"
#include "platform/com/os/Creation.h"
