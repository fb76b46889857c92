// The null GUID and the Win32 text conversions of the Linux layer.
#pragma once

#include <cstdint>

#include "platform/Guid.h"
#include "platform/WinTypes.h"

namespace platform {

using WORD = std::uint16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using HRESULT = std::int32_t;

inline constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_NULL = GUID_NULL;
inline constexpr CLSID CLSID_NULL = GUID_NULL;

// StringFromGUID2: writes the braced form with its terminator; returns the
// characters written including the terminator (39), or 0 when `size` is
// too small.
int StringFromGUID2(REFGUID guid, LPOLESTR text, int size);
// CLSIDFromString / IIDFromString: the braced form only (ProgIDs are read
// with CLSIDFromProgID). NOERROR, or CO_E_CLASSSTRING / E_INVALIDARG for a
// malformed text or a null pointer.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT IIDFromString(LPCOLESTR text, IID* iid);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CLSID_NULL;
using platform::CLSIDFromString;
using platform::GUID_NULL;
using platform::IID_NULL;
using platform::IIDFromString;
using platform::StringFromGUID2;
