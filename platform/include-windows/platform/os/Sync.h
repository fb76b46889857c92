// Events, mutexes and waits are the system's own (synchapi.h).
#pragma once

#include "platform/os/WinTypes.h"
