// The Windows headers, for every platform header of the Windows build.
// WIN32_LEAN_AND_MEAN and NOMINMAX come from the build (qvx_platform), so
// every file sees the same declarations whatever it includes first.
#pragma once

#include <windows.h>
