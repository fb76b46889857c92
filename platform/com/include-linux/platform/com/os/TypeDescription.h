// The Linux layer's stand-in for a compiled type library: ITypeLib and
// ITypeInfo over a description (their DispInvoke and DispGetIDsOfNames
// come with platform/com/Dispatch.h).
#pragma once

#include "platform/com/os/Dispatch.h"

namespace platform {

struct TypeLibraryDescription;

// A type library object over a description that outlives it (a static
// table). Each interface becomes one ITypeInfo, in table order.
HRESULT CreateTypeLibFromDescription(const TypeLibraryDescription* description, ITypeLib** library);

}  // namespace platform
