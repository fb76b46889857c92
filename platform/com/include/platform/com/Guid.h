// GUID, IID and CLSID with comparison and the registry text form.
//
// Header-only apart from the text conversions (qvx_platform_com), so other
// platform pieces that need a GUID can share this one definition.
#pragma once

#include <cstdint>
#include <string>

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

// Registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 characters,
// upper-case hexadecimal when written; either case and the braces are
// required when read.
constexpr int kGuidStringLength = 38;

// StringFromGUID2: writes the braced form with its terminator; returns the
// characters written including the terminator (39), or 0 when `size` is
// too small.
int StringFromGUID2(REFGUID guid, LPOLESTR text, int size);
// CLSIDFromString / IIDFromString: the braced form only (ProgIDs are read
// with CLSIDFromProgID). NOERROR, or CO_E_CLASSSTRING / E_INVALIDARG for a
// malformed text or a null pointer.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT IIDFromString(LPCOLESTR text, IID* iid);

// The same for the narrow strings of the registry store.
std::string GuidToString(REFGUID guid);
bool GuidFromString(const char* text, GUID* guid);

}  // namespace platform
