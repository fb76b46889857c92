// Basic Windows-shaped types and error numbers of the platform layer.
// Kept in namespace platform so they never clash with pcsc-lite's own
// global DWORD/LONG typedefs.
#pragma once

#include <cstdint>

// pcsc-lite defines INFINITE as a macro; platform::INFINITE is the same value.
#undef INFINITE

// The calling convention of system callbacks (__stdcall on 32-bit Windows);
// one convention is all Linux has.
#ifndef WINAPI
#define WINAPI
#endif

namespace platform {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;

// Opaque handle of a kernel object (event or mutex); nullptr means none.
struct KernelObject;
using HANDLE = KernelObject*;

// Error numbers as GetLastError() reports them (Win32 values).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;

// Wait results and time limits.
constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000u;
constexpr DWORD WAIT_ABANDONED = 0x00000080u;
constexpr DWORD WAIT_TIMEOUT = 0x00000102u;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// The calling thread's last error, set by every platform call that fails.
DWORD GetLastError();
void SetLastError(DWORD error);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::ERROR_ACCESS_DENIED;
using platform::ERROR_ALREADY_EXISTS;
using platform::ERROR_ENVVAR_NOT_FOUND;
using platform::ERROR_FILE_NOT_FOUND;
using platform::ERROR_GEN_FAILURE;
using platform::ERROR_INSUFFICIENT_BUFFER;
using platform::ERROR_INVALID_HANDLE;
using platform::ERROR_INVALID_NAME;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_MORE_DATA;
using platform::ERROR_NOT_ENOUGH_MEMORY;
using platform::ERROR_NOT_OWNER;
using platform::ERROR_PATH_NOT_FOUND;
using platform::ERROR_SUCCESS;
using platform::GetLastError;
using platform::INFINITE;
using platform::MAXIMUM_WAIT_OBJECTS;
using platform::SetLastError;
using platform::WAIT_ABANDONED;
using platform::WAIT_FAILED;
using platform::WAIT_OBJECT_0;
using platform::WAIT_TIMEOUT;
