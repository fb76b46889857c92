// GUID, IID and CLSID with comparison and the registry text form.
//
// The Win32 calls (StringFromGUID2, CLSIDFromString, ...) are the system's
// or the Linux layer's (platform/com/os); the narrow registry form is the
// platform's own, on both systems.
#pragma once

#include <string>

#include "platform/com/os/GuidText.h"

namespace platform {

// Registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 characters,
// upper-case hexadecimal when written; either case and the braces are
// required when read.
constexpr int kGuidStringLength = 38;

std::string GuidToString(REFGUID guid);
// False (and `guid` left alone) for anything but the exact form.
bool GuidFromString(const char* text, GUID* guid);

}  // namespace platform
