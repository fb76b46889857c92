// The basic COM types of the Linux layer: integer names, HRESULT and its
// values (GUIDs in Guid.h).
//
// Shaped after the Windows SDK so that code written against this layer
// compiles unchanged against the real headers; kept in namespace platform
// (like WinTypes.h) so it never meets pcsc-lite's global typedefs.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"
#include "platform/com/GuidText.h"

// The calling convention of interface methods (__stdcall on 32-bit
// Windows); one convention is all Linux has.
#ifndef STDMETHODCALLTYPE
#define STDMETHODCALLTYPE
#endif

// An OLE text literal: char16_t here, wchar_t on Windows.
#ifndef OLESTR
#define OLESTR(text) u##text
#endif

namespace platform {

using WORD = std::uint16_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using BOOL = std::int32_t;
using ULONGLONG = std::uint64_t;
using DOUBLE = double;
using LCID = DWORD;

// Automation text is UTF-16, as on Windows (OLECHAR, LPOLESTR and
// LPCOLESTR come with Guid.h).

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

// ---- HRESULT -------------------------------------------------------------

using HRESULT = std::int32_t;
using SCODE = HRESULT;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT MakeHResult(std::uint32_t value) { return static_cast<HRESULT>(value); }
// Win32 error number -> HRESULT (facility 7), as the Windows macro.
constexpr HRESULT HRESULT_FROM_WIN32(DWORD error) {
  return static_cast<HRESULT>(error) <= 0 ? static_cast<HRESULT>(error)
                                          : MakeHResult((error & 0xFFFFu) | 0x80070000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT NOERROR = 0;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);

constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
constexpr HRESULT CO_E_DLLNOTFOUND = MakeHResult(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9u);
constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3u);

constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006u);
constexpr HRESULT DISP_E_NONAMEDARGS = MakeHResult(0x80020007u);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008u);
constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009u);
constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000Eu);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHResult(0x8002000Fu);

constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MakeHResult(0x8002801Du);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeHResult(0x8002802Bu);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeHResult(0x80029C4Au);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CLASS_E_CLASSNOTAVAILABLE;
using platform::CLASS_E_NOAGGREGATION;
using platform::CO_E_CLASSSTRING;
using platform::CO_E_DLLNOTFOUND;
using platform::CO_E_ERRORINDLL;
using platform::DISP_E_BADINDEX;
using platform::DISP_E_BADPARAMCOUNT;
using platform::DISP_E_BADVARTYPE;
using platform::DISP_E_EXCEPTION;
using platform::DISP_E_MEMBERNOTFOUND;
using platform::DISP_E_NONAMEDARGS;
using platform::DISP_E_OVERFLOW;
using platform::DISP_E_PARAMNOTFOUND;
using platform::DISP_E_PARAMNOTOPTIONAL;
using platform::DISP_E_TYPEMISMATCH;
using platform::DISP_E_UNKNOWNINTERFACE;
using platform::DISP_E_UNKNOWNNAME;
using platform::E_ABORT;
using platform::E_ACCESSDENIED;
using platform::E_FAIL;
using platform::E_INVALIDARG;
using platform::E_NOINTERFACE;
using platform::E_NOTIMPL;
using platform::E_OUTOFMEMORY;
using platform::E_POINTER;
using platform::E_UNEXPECTED;
using platform::FAILED;
using platform::HRESULT_FROM_WIN32;
using platform::NOERROR;
using platform::REGDB_E_CLASSNOTREG;
using platform::S_FALSE;
using platform::S_OK;
using platform::SUCCEEDED;
using platform::TYPE_E_CANTLOADLIBRARY;
using platform::TYPE_E_ELEMENTNOTFOUND;
using platform::TYPE_E_LIBNOTREGISTERED;
