// IDispatch of the Linux layer, the late-bound interface script calls through, and the minimal
// type information (ITypeInfo, ITypeLib) behind it.
//
// The type information here is built from a static description of the
// interface (TypeDescription.h) instead of a compiled type library; it
// carries the members that script binding needs: names to DISPIDs, the
// call itself, and the help texts.
#pragma once

#include "platform/com/os/Unknown.h"
#include "platform/com/os/Variant.h"

namespace platform {

using DISPID = LONG;
using MEMBERID = DISPID;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr MEMBERID MEMBERID_NIL = DISPID_UNKNOWN;

// Invoke flags (which kind of call script makes).
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// Arguments of an Invoke: rgvarg holds them in reverse order (the last
// argument first); the first cNamedArgs of rgvarg are named by
// rgdispidNamedArgs (parameter indexes from GetIDsOfNames).
struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

inline constexpr IID IID_IDispatch{
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeInfo{
    0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeLib{
    0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class ITypeLib;

class ITypeInfo : public IUnknown {
 public:
  // names[0] is a member, names[1..] its parameters (-> their indexes);
  // compared without regard to ASCII case. DISP_E_UNKNOWNNAME (with
  // MEMBERID_NIL in the unknown places) when a name is not found.
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
  // Calls member `id` on `instance` (the interface pointer the description
  // was written for). Results as IDispatch::Invoke.
  virtual HRESULT STDMETHODCALLTYPE Invoke(void* instance, MEMBERID id, WORD flags,
                                           DISPPARAMS* params, VARIANT* result,
                                           EXCEPINFO* excepInfo, UINT* argErr) = 0;
  // MEMBERID_NIL documents the interface itself. Any output may be null;
  // returned strings belong to the caller. TYPE_E_ELEMENTNOTFOUND for an
  // unknown id.
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString,
                                                     DWORD* helpContext, BSTR* helpFile) = 0;
  // The member's name followed by its parameter names.
  virtual HRESULT STDMETHODCALLTYPE GetNames(MEMBERID id, BSTR* names, UINT maxNames,
                                             UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** library, UINT* index) = 0;
};

class ITypeLib : public IUnknown {
 public:
  virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** info) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
  // index -1 documents the library itself.
  virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                                     DWORD* helpContext, BSTR* helpFile) = 0;
};

class IDispatch : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  // riid must be IID_NULL (DISP_E_UNKNOWNINTERFACE otherwise).
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count,
                                                  LCID lcid, DISPID* ids) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                           DISPPARAMS* params, VARIANT* result,
                                           EXCEPINFO* excepInfo, UINT* argErr) = 0;
};

// The standard IDispatch implementation over type information, as oleaut32:
// an object's GetIDsOfNames and Invoke forward here with its type info.
HRESULT DispGetIDsOfNames(ITypeInfo* info, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT DispInvoke(void* instance, ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::DISPATCH_METHOD;
using platform::DISPATCH_PROPERTYGET;
using platform::DISPATCH_PROPERTYPUT;
using platform::DISPATCH_PROPERTYPUTREF;
using platform::DispGetIDsOfNames;
using platform::DISPID_PROPERTYPUT;
using platform::DISPID_UNKNOWN;
using platform::DISPID_VALUE;
using platform::DispInvoke;
using platform::IID_IDispatch;
using platform::IID_ITypeInfo;
using platform::IID_ITypeLib;
using platform::LOCALE_SYSTEM_DEFAULT;
using platform::LOCALE_USER_DEFAULT;
using platform::MEMBERID_NIL;
