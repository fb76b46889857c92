// The object behind KNamedEvent on Linux: a platform named event.
#pragma once

#include "platform/WinTypes.h"

namespace qvx::driver {

using NamedEventObject = platform::HANDLE;

}  // namespace qvx::driver
