// FormatMessage and its error numbers are the system's own.
#pragma once

#include "platform/os/WinTypes.h"
