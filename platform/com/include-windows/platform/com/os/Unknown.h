// IUnknown and IClassFactory are the system's (unknwn.h).
#pragma once

#include <unknwn.h>

#include "platform/com/os/ComTypes.h"

namespace platform {

using ::IClassFactory;
using ::IUnknown;

}  // namespace platform
