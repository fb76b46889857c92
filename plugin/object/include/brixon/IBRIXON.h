// The script interface of the plug-in, its class and its type library: what
// a host needs to create the object and call it early-bound.
#pragma once

#include "platform/com/TypeDescription.h"

namespace qvx::brixon {

using platform::BSTR;
using platform::HRESULT;
using platform::LONG;
using platform::SHORT;

// {C736F5AC-65AD-4BB9-B91A-F63AB66D435D}
inline constexpr platform::CLSID CLSID_BRIXON{
    0xC736F5AC, 0x65AD, 0x4BB9, {0xB9, 0x1A, 0xF6, 0x3A, 0xB6, 0x6D, 0x43, 0x5D}};
// {0C50EEE8-5A83-4C5F-9A84-425A218EAFE5}
inline constexpr platform::GUID LIBID_BRIXONLib{
    0x0C50EEE8, 0x5A83, 0x4C5F, {0x9A, 0x84, 0x42, 0x5A, 0x21, 0x8E, 0xAF, 0xE5}};
// {A7681D3B-7CC9-40F2-B019-B7B0F548F424}
inline constexpr platform::IID IID_IBRIXON{
    0xA7681D3B, 0x7CC9, 0x40F2, {0xB0, 0x19, 0xB7, 0xB0, 0xF5, 0x48, 0xF4, 0x24}};

constexpr const char* kProgId = "BRIXON.Application";
constexpr const char* kVersionedProgId = "BRIXON.Application.1";

// Dual interface: the members in dispatch-id order are also its method slots
// after IDispatch's. Every string member returns S_OK whatever the status
// in its result text; the caller owns *p_RetVal. Null [in] strings count as
// empty.
class IBRIXON : public platform::IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE CheckConnection(BSTR* p_RetVal) = 0;             // 1
  virtual HRESULT STDMETHODCALLTYPE get_CheckBRIXON(LONG* pVal) = 0;                 // 2
  virtual HRESULT STDMETHODCALLTYPE CheckCard(BSTR p_Language, BSTR* p_RetVal) = 0;  // 3
  virtual HRESULT STDMETHODCALLTYPE GetResponse(BSTR p_SignData, BSTR p_Language,
                                                BSTR* p_RetVal) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE GetMode1Response(BSTR p_Challenge, BSTR p_Currency,
                                                     BSTR p_Amount,
                                                     BSTR* p_RetVal) = 0;  // 5
  virtual HRESULT STDMETHODCALLTYPE GetMode2Response(BSTR* p_RetVal) = 0;  // 6
  virtual HRESULT STDMETHODCALLTYPE DisplayResult(SHORT p_MessageId, BSTR p_LastLogon,
                                                  BSTR p_Language,
                                                  BSTR* p_RetVal) = 0;  // 7
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;                       // 8
};

// The one description of BRIXONLib 1.0 (coclass BRIXON, interface IBRIXON):
// it drives the type library the object hands out, GetIDsOfNames and
// Invoke. Invoke calls the members on an IBRIXON*.
const platform::TypeLibraryDescription& BrixonTypeLibrary();
const platform::InterfaceDescription& BrixonInterface();

}  // namespace qvx::brixon
