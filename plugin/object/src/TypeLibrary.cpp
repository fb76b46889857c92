// BRIXONLib 1.0 as one table: names, DISPIDs, parameters and help strings of
// IBRIXON, and the thunks Invoke calls. Script passes arguments as variants;
// Invoke converts them to the types below before a thunk sees them.
#include "brixon/IBRIXON.h"
#include "platform/com/TypeDescription.h"

namespace qvx::brixon {
namespace {

using namespace platform;

IBRIXON* Self(void* instance) { return static_cast<IBRIXON*>(instance); }

HRESULT CallCheckConnection(void* self, VARIANT*, VARIANT* result) {
  return Self(self)->CheckConnection(&result->bstrVal);
}
HRESULT CallCheckBRIXON(void* self, VARIANT*, VARIANT* result) {
  return Self(self)->get_CheckBRIXON(&result->lVal);
}
HRESULT CallCheckCard(void* self, VARIANT* args, VARIANT* result) {
  return Self(self)->CheckCard(args[0].bstrVal, &result->bstrVal);
}
HRESULT CallGetResponse(void* self, VARIANT* args, VARIANT* result) {
  return Self(self)->GetResponse(args[0].bstrVal, args[1].bstrVal, &result->bstrVal);
}
HRESULT CallGetMode1Response(void* self, VARIANT* args, VARIANT* result) {
  return Self(self)->GetMode1Response(args[0].bstrVal, args[1].bstrVal, args[2].bstrVal,
                                      &result->bstrVal);
}
HRESULT CallGetMode2Response(void* self, VARIANT*, VARIANT* result) {
  return Self(self)->GetMode2Response(&result->bstrVal);
}
HRESULT CallDisplayResult(void* self, VARIANT* args, VARIANT* result) {
  return Self(self)->DisplayResult(args[0].iVal, args[1].bstrVal, args[2].bstrVal,
                                   &result->bstrVal);
}
HRESULT CallCancel(void* self, VARIANT*, VARIANT*) { return Self(self)->Cancel(); }

const ParameterDescription kCheckCardParameters[] = {{OLESTR("p_Language"), VT_BSTR}};
const ParameterDescription kGetResponseParameters[] = {{OLESTR("p_SignData"), VT_BSTR},
                                                       {OLESTR("p_Language"), VT_BSTR}};
const ParameterDescription kGetMode1ResponseParameters[] = {{OLESTR("p_Challenge"), VT_BSTR},
                                                            {OLESTR("p_Currency"), VT_BSTR},
                                                            {OLESTR("p_Amount"), VT_BSTR}};
const ParameterDescription kDisplayResultParameters[] = {{OLESTR("p_MessageId"), VT_I2},
                                                         {OLESTR("p_LastLogon"), VT_BSTR},
                                                         {OLESTR("p_Language"), VT_BSTR}};

const MemberDescription kMembers[] = {
    {1, OLESTR("CheckConnection"), DISPATCH_METHOD, nullptr, 0, VT_BSTR,
     OLESTR("method CheckConnection"), CallCheckConnection},
    {2, OLESTR("CheckBRIXON"), DISPATCH_PROPERTYGET, nullptr, 0, VT_I4,
     OLESTR("property CheckBRIXON"), CallCheckBRIXON},
    {3, OLESTR("CheckCard"), DISPATCH_METHOD, kCheckCardParameters, 1, VT_BSTR,
     OLESTR("method CheckCard"), CallCheckCard},
    {4, OLESTR("GetResponse"), DISPATCH_METHOD, kGetResponseParameters, 2, VT_BSTR,
     OLESTR("method GetResponse"), CallGetResponse},
    {5, OLESTR("GetMode1Response"), DISPATCH_METHOD, kGetMode1ResponseParameters, 3, VT_BSTR,
     OLESTR("method GetMode1Response"), CallGetMode1Response},
    {6, OLESTR("GetMode2Response"), DISPATCH_METHOD, nullptr, 0, VT_BSTR,
     OLESTR("method GetMode2Response"), CallGetMode2Response},
    {7, OLESTR("DisplayResult"), DISPATCH_METHOD, kDisplayResultParameters, 3, VT_BSTR,
     OLESTR("method DisplayResult"), CallDisplayResult},
    {8, OLESTR("Cancel"), DISPATCH_METHOD, nullptr, 0, VT_EMPTY, OLESTR("method Cancel"),
     CallCancel},
};

const InterfaceDescription kInterfaces[] = {
    {IID_IBRIXON, OLESTR("IBRIXON"), OLESTR("IBRIXON Interface"), kMembers,
     static_cast<UINT>(sizeof kMembers / sizeof kMembers[0])},
};

const TypeLibraryDescription kLibrary = {
    LIBID_BRIXONLib, OLESTR("BRIXONLib"), OLESTR("BRIXON 1.0 Type Library"), 1, 0, kInterfaces, 1};

}  // namespace

const TypeLibraryDescription& BrixonTypeLibrary() { return kLibrary; }
const InterfaceDescription& BrixonInterface() { return kInterfaces[0]; }

}  // namespace qvx::brixon
