// A described interface and the object it calls into, for the tests of
// the dispatch over a description (and, on Linux, of the type library
// built from it).
#pragma once

#include <string>

#include "platform/com/TypeDescription.h"

namespace qvx::testing {

using namespace platform;

// The object the description calls into (stands for a dual interface).
struct CTarget {
  std::string lastJoined;
  SHORT lastId = 0;
  int calls = 0;
};

inline HRESULT CallJoin(void* self, VARIANT* args, VARIANT* result) {
  auto* t = static_cast<CTarget*>(self);
  ++t->calls;
  t->lastJoined = BstrToAnsi(args[0].bstrVal) + "|" + BstrToAnsi(args[1].bstrVal);
  result->bstrVal = AnsiToBstr(t->lastJoined);
  return S_OK;
}
inline HRESULT CallPresent(void* self, VARIANT*, VARIANT* result) {
  ++static_cast<CTarget*>(self)->calls;
  result->lVal = 1;
  return S_OK;
}
inline HRESULT CallShow(void* self, VARIANT* args, VARIANT*) {
  auto* t = static_cast<CTarget*>(self);
  ++t->calls;
  t->lastId = args[0].iVal;
  return S_OK;
}
inline HRESULT CallBroken(void*, VARIANT*, VARIANT*) { return E_ACCESSDENIED; }

inline const ParameterDescription kJoinParams[] = {{OLESTR("p_First"), VT_BSTR},
                                                   {OLESTR("p_Second"), VT_BSTR}};
inline const ParameterDescription kShowParams[] = {{OLESTR("p_MessageId"), VT_I2}};
inline const MemberDescription kMembers[] = {
    {1, OLESTR("Join"), DISPATCH_METHOD, kJoinParams, 2, VT_BSTR, OLESTR("method Join"), CallJoin},
    {2, OLESTR("Present"), DISPATCH_PROPERTYGET, nullptr, 0, VT_I4, OLESTR("property Present"),
     CallPresent},
    {3, OLESTR("Show"), DISPATCH_METHOD, kShowParams, 1, VT_EMPTY, OLESTR("method Show"), CallShow},
    {4, OLESTR("Broken"), DISPATCH_METHOD, nullptr, 0, VT_EMPTY, OLESTR("method Broken"),
     CallBroken},
};
inline constexpr IID kIid{
    0xE40D2012, 0xDD18, 0x4759, {0xA1, 0x58, 0xDA, 0xB3, 0xC7, 0x88, 0xCE, 0xD6}};
inline const InterfaceDescription kInterface{kIid, OLESTR("ITarget"), OLESTR("ITarget Interface"),
                                             kMembers, 4};
inline const TypeLibraryDescription kLibrary{
    GUID_NULL, OLESTR("TargetLib"), OLESTR("Target 1.0 Type Library"), 1, 0, &kInterface, 1};

}  // namespace qvx::testing
