// IdnToAscii is the system's (winnls.h; normaliz.dll).
#pragma once

#include "platform/com/os/ComTypes.h"
