// What a failed request to the reader driver means to a WinSCard caller:
// the smart-card service's codes for the conditions it knows (card gone,
// reader gone, cancelled, buffer too small ...); any other Win32 error is
// returned as it is, as the service does for a driver's own refusals.
#pragma once

#include <windows.h>

namespace qvx::testing::scard {

LONG ScardResult(DWORD win32Error);

}  // namespace qvx::testing::scard
