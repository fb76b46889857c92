// The basic COM types: integer names, HRESULT and its values (GUIDs in
// Guid.h), from the system's headers or the Linux layer (platform/com/os).
//
// OLE text is UTF-16 on both systems, but its character type differs
// (wchar_t on Windows, char16_t on Linux): shared code writes literals as
// OLESTR("...") and owns text as OleString.
#pragma once

#include <string>

#include "platform/com/GuidText.h"
#include "platform/com/os/ComTypes.h"

namespace platform {

using OleString = std::basic_string<OLECHAR>;

}  // namespace platform
