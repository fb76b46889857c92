// An interface written as one static table: it drives GetIDsOfNames and
// Invoke of a dual interface, the same way on both systems (our own, not
// oleaut32's, so script sees one behaviour). On Linux the table also backs
// the ITypeInfo / ITypeLib the object hands out, standing in for a compiled
// type library (platform/com/os); on Windows that is the compiled one.
//
// Usage, for an interface IFoo with the method Bar([in] BSTR a, [out,
// retval] LONG* r):
//
//   HRESULT CallBar(void* self, VARIANT* args, VARIANT* result) {
//     return static_cast<IFoo*>(self)->Bar(args[0].bstrVal, &result->lVal);
//   }
//   const ParameterDescription kBarParams[] = {{OLESTR("a"), VT_BSTR}};
//   const MemberDescription kFooMembers[] = {
//       {1, OLESTR("Bar"), DISPATCH_METHOD, kBarParams, 1, VT_I4, OLESTR("method Bar"), CallBar}};
//   const InterfaceDescription kFoo = {IID_IFoo, OLESTR("IFoo"), OLESTR("IFoo Interface"),
//                                      kFooMembers, 1};
//
// and in the object: DispatchGetIDsOfNames(kFoo, ...) and
// DispatchByDescription(kFoo, static_cast<IFoo*>(this), ...).
#pragma once

#include "platform/com/Dispatch.h"
#include "platform/com/os/TypeDescription.h"

namespace platform {

struct ParameterDescription {
  const OLECHAR* name;
  VARTYPE type;  // VT_BSTR, VT_I2, VT_I4, VT_UI2, VT_BOOL, VT_R8
};

// Calls the member on `instance`. `arguments` holds the [in] parameters in
// declared order, each already converted to its declared type (owned by the
// caller, read-only for the thunk). `result` arrives with vt = returnType
// and a zero value; the thunk stores the value (a BSTR it allocates passes
// to the caller). Not called for a wrong argument count or type.
using MemberThunk = HRESULT (*)(void* instance, VARIANT* arguments, VARIANT* result);

struct MemberDescription {
  DISPID id;
  const OLECHAR* name;
  WORD invokeKind;                         // DISPATCH_METHOD or DISPATCH_PROPERTYGET
  const ParameterDescription* parameters;  // [in] parameters only
  UINT parameterCount;
  VARTYPE returnType;  // the [out, retval] type, VT_EMPTY for none
  const OLECHAR* helpString;
  MemberThunk call;
};

struct InterfaceDescription {
  IID iid;
  const OLECHAR* name;
  const OLECHAR* helpString;
  const MemberDescription* members;
  UINT memberCount;
};

struct TypeLibraryDescription {
  GUID libid;
  const OLECHAR* name;
  const OLECHAR* helpString;
  WORD majorVersion;
  WORD minorVersion;
  const InterfaceDescription* interfaces;
  UINT interfaceCount;
};

// IDispatch::GetIDsOfNames from a description: riid must be IID_NULL;
// names[0] is looked up among the members, names[1..] among that member's
// parameters (their indexes), all without regard to ASCII case. Unknown
// names give DISP_E_UNKNOWNNAME and DISPID_UNKNOWN in their place.
HRESULT DispatchGetIDsOfNames(const InterfaceDescription& description, REFIID riid, LPOLESTR* names,
                              UINT count, DISPID* ids);

// IDispatch::Invoke from a description:
// - riid other than IID_NULL: DISP_E_UNKNOWNINTERFACE; unknown DISPID, or a
//   call kind the member lacks (flags & invokeKind == 0; a put is never
//   offered): DISP_E_MEMBERNOTFOUND; null params: E_INVALIDARG.
// - argument count other than the parameter count: DISP_E_BADPARAMCOUNT;
//   a named argument that names no parameter, or a position already given:
//   DISP_E_PARAMNOTFOUND; a parameter neither given nor named:
//   DISP_E_PARAMNOTOPTIONAL.
// - an argument that does not convert (VariantChangeType) to its declared
//   type: DISP_E_TYPEMISMATCH, with its index into rgvarg in *argErr.
// - the thunk's failure: DISP_E_EXCEPTION, its HRESULT in excepInfo->scode.
// On success the return value goes to *result when given (freed otherwise).
HRESULT DispatchByDescription(const InterfaceDescription& description, void* instance, DISPID id,
                              REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* excepInfo, UINT* argErr);

// The described member, or nullptr.
const MemberDescription* FindMember(const InterfaceDescription& description, DISPID id);

}  // namespace platform
