// GUID, IID and CLSID: one definition for every platform piece that names
// classes or interfaces (the Linux layer's own, or the Windows headers').
// REFGUID, REFIID and REFCLSID are macros on Windows, so they are written
// bare like the Win32 constants (see docs/design.md).
#pragma once

#include "platform/os/Guid.h"
