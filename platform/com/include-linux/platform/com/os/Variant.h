// VARIANT of the Linux layer, with the types the plug-in's members use, and
// the conversions an Invoke needs.
#pragma once

#include "platform/com/os/Bstr.h"

namespace platform {

class IUnknown;
class IDispatch;

using VARTYPE = WORD;
using VARIANT_BOOL = SHORT;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_HRESULT = 25;  // for describing return types only
constexpr VARTYPE VT_BYREF = 0x4000;
constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    SHORT iVal;              // VT_I2
    LONG lVal;               // VT_I4
    USHORT uiVal;            // VT_UI2
    DOUBLE dblVal;           // VT_R8
    VARIANT_BOOL boolVal;    // VT_BOOL
    SCODE scode;             // VT_ERROR
    BSTR bstrVal;            // VT_BSTR (owned)
    IUnknown* punkVal;       // VT_UNKNOWN (owned reference)
    IDispatch* pdispVal;     // VT_DISPATCH (owned reference)
    SHORT* piVal;            // VT_BYREF|VT_I2 (borrowed, as every VT_BYREF)
    LONG* plVal;             // VT_BYREF|VT_I4
    USHORT* puiVal;          // VT_BYREF|VT_UI2
    DOUBLE* pdblVal;         // VT_BYREF|VT_R8
    VARIANT_BOOL* pboolVal;  // VT_BYREF|VT_BOOL
    BSTR* pbstrVal;          // VT_BYREF|VT_BSTR
    VARIANT* pvarVal;        // VT_BYREF|VT_VARIANT
    void* byref;
  };
};
using VARIANTARG = VARIANT;

// Sets VT_EMPTY (does not free what was there).
void VariantInit(VARIANTARG* v);
// Frees what the variant owns and leaves VT_EMPTY. DISP_E_BADVARTYPE for a
// type this layer does not know (the variant is left alone then).
HRESULT VariantClear(VARIANTARG* v);
// Deep copy (new BSTR, AddRef'd interfaces); `destination` is cleared first.
HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source);

// Flag for VariantChangeType: VT_BOOL -> VT_BSTR gives "True"/"False"
// instead of "-1"/"0".
constexpr USHORT VARIANT_ALPHABOOL = 0x02;

// Converts `source` (a VT_BYREF source is read through its pointer; a
// nested VT_BYREF|VT_VARIANT through both) to `type` into `destination`,
// which may be `source` itself. Types: VT_EMPTY, VT_I2, VT_I4, VT_UI2,
// VT_R8, VT_BOOL, VT_BSTR (and any type to itself). Rules, as oleaut32:
// - VT_EMPTY reads as 0, false or the empty string; VT_NULL converts to
//   nothing but itself (DISP_E_TYPEMISMATCH).
// - Numbers to integers round half to even; out of range: DISP_E_OVERFLOW.
// - Text to a number: optional blanks, a sign, decimal digits with an
//   optional fraction; anything else DISP_E_TYPEMISMATCH. Text to VT_BOOL
//   also reads "True"/"False" in any case.
// - Numbers to text in decimal ("-1"/"0" for booleans, see above).
// - Interfaces and errors do not convert (DISP_E_TYPEMISMATCH).
// On failure `destination` is unchanged.
HRESULT VariantChangeType(VARIANTARG* destination, const VARIANTARG* source, USHORT flags,
                          VARTYPE type);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::VARIANT_ALPHABOOL;
using platform::VARIANT_FALSE;
using platform::VARIANT_TRUE;
using platform::VariantChangeType;
using platform::VariantClear;
using platform::VariantCopy;
using platform::VariantInit;
using platform::VT_BOOL;
using platform::VT_BSTR;
using platform::VT_BYREF;
using platform::VT_DISPATCH;
using platform::VT_EMPTY;
using platform::VT_ERROR;
using platform::VT_HRESULT;
using platform::VT_I2;
using platform::VT_I4;
using platform::VT_NULL;
using platform::VT_R8;
using platform::VT_TYPEMASK;
using platform::VT_UI2;
using platform::VT_UNKNOWN;
using platform::VT_VARIANT;
