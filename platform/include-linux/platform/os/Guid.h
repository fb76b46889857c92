// GUID, IID and CLSID of the Linux layer, with the comparisons the Windows
// headers give them.
#pragma once

#include "platform/WinTypes.h"

namespace platform {

struct GUID {
  DWORD Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
    return false;
  }
  for (int i = 0; i < 8; ++i) {
    if (a.Data4[i] != b.Data4[i]) {
      return false;
    }
  }
  return true;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }
constexpr bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
constexpr bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::IsEqualCLSID;
using platform::IsEqualGUID;
using platform::IsEqualIID;
using platform::REFCLSID;
using platform::REFGUID;
using platform::REFIID;
