// Automation strings (BSTR) and the ANSI code page of the Linux layer.
//
// A BSTR points at UTF-16 text preceded by a 4-byte length in bytes and
// followed by a terminating zero, exactly as on Windows: the length, not
// the terminator, ends it, so embedded NULs keep their place. A null BSTR
// is the empty string. Memory comes from this layer's allocator: free
// with SysFreeString only.
#pragma once

#include "platform/com/ComTypes.h"

namespace platform {

using BSTR = OLECHAR*;

// Copies up to the terminator. nullptr for a null input or no memory.
BSTR SysAllocString(LPCOLESTR text);
// `length` characters; `text` may be null for an uninitialised (zeroed)
// string of that length. nullptr when no memory.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);      // characters, without the terminator; 0 for null
UINT SysStringByteLen(BSTR text);  // bytes

// ---- ANSI code page ----------------------------------------------------
//
// The "ANSI" code page of this platform is fixed: Windows-1252 for CP_ACP
// and CP_THREAD_ACP alike (Linux has no per-system or per-thread ANSI code
// page, and 1252 is the Western one the bank's pages are written for).
// Going to 1252, a character outside it becomes '?' (no best-fit mapping;
// a surrogate pair is one character, so one '?'); the bytes 1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to and from U+0081...
// as Windows does. CP_UTF8 is accepted too.
constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;
constexpr UINT kAnsiCodePage = 1252;
UINT GetACP();  // 1252

// Win32 shape: a length of -1 converts up to and including the terminator
// (the result then counts it). A `size` of 0 asks for the length needed.
// Returns the units written, or 0 with ERROR_INSUFFICIENT_BUFFER or
// ERROR_INVALID_PARAMETER as the last error. `flags` must be 0.
int WideCharToMultiByte(UINT codePage, DWORD flags, const OLECHAR* wide, int wideLength,
                        char* narrow, int size, const char* defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* narrow, int narrowLength,
                        OLECHAR* wide, int size);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CP_ACP;
using platform::CP_THREAD_ACP;
using platform::CP_UTF8;
using platform::GetACP;
using platform::MultiByteToWideChar;
using platform::SysAllocString;
using platform::SysAllocStringLen;
using platform::SysFreeString;
using platform::SysStringByteLen;
using platform::SysStringLen;
using platform::WideCharToMultiByte;
