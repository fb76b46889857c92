// CBRIXON, the scriptable object: IBRIXON over the plug-in's command object,
// the page's site, object safety with the site lock, and aggregation.
#pragma once

#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "brixon/Quorvex2.h"
#include "brixon/SiteLock.h"
#include "platform/com/Aggregation.h"
#include "platform/com/Hosting.h"

namespace qvx::brixon {

// Holds one module lock for as long as it lives.
class CModuleLock {
 public:
  CModuleLock() { LockModule(); }
  ~CModuleLock() { UnlockModule(); }
  CModuleLock(const CModuleLock&) = delete;
  CModuleLock& operator=(const CModuleLock&) = delete;
};

class CBRIXON final : public IObjectSafetySiteLockImpl,
                      public platform::IObjectWithSite,
                      public IBRIXON {
 public:
  // `outer` is the controlling unknown when aggregated, else null.
  CBRIXON(platform::IUnknown* outer, ReaderAccessFactory readers);
  ~CBRIXON();
  CBRIXON(const CBRIXON&) = delete;
  CBRIXON& operator=(const CBRIXON&) = delete;

  // IUnknown: through the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  platform::ULONG STDMETHODCALLTYPE AddRef() override;
  platform::ULONG STDMETHODCALLTYPE Release() override;

  // The object's own unknown (the inner one when aggregated).
  HRESULT InnerQueryInterface(REFIID riid, void** object);
  platform::ULONG InnerAddRef();
  platform::ULONG InnerRelease();
  platform::IUnknown* InnerUnknown() { return &m_inner; }

  // IObjectWithSite
  HRESULT STDMETHODCALLTYPE SetSite(platform::IUnknown* site) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** site) override;

  // IDispatch: the type information from the type library, the calls from
  // the object's own description.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(platform::UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(platform::UINT index, platform::LCID lcid,
                                        platform::ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, platform::LPOLESTR* names,
                                          platform::UINT count, platform::LCID lcid,
                                          platform::DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(platform::DISPID id, REFIID riid, platform::LCID lcid,
                                   platform::WORD flags, platform::DISPPARAMS* params,
                                   platform::VARIANT* result, platform::EXCEPINFO* excepInfo,
                                   platform::UINT* argErr) override;

  // IBRIXON
  HRESULT STDMETHODCALLTYPE CheckConnection(BSTR* p_RetVal) override;
  HRESULT STDMETHODCALLTYPE get_CheckBRIXON(LONG* pVal) override;
  HRESULT STDMETHODCALLTYPE CheckCard(BSTR p_Language, BSTR* p_RetVal) override;
  HRESULT STDMETHODCALLTYPE GetResponse(BSTR p_SignData, BSTR p_Language, BSTR* p_RetVal) override;
  HRESULT STDMETHODCALLTYPE GetMode1Response(BSTR p_Challenge, BSTR p_Currency, BSTR p_Amount,
                                             BSTR* p_RetVal) override;
  HRESULT STDMETHODCALLTYPE GetMode2Response(BSTR* p_RetVal) override;
  HRESULT STDMETHODCALLTYPE DisplayResult(SHORT p_MessageId, BSTR p_LastLogon, BSTR p_Language,
                                          BSTR* p_RetVal) override;
  HRESULT STDMETHODCALLTYPE Cancel() override;

 private:
  template <typename Command>
  HRESULT RunCommand(BSTR* p_RetVal, Command&& command);
  HRESULT TypeInfo(platform::ITypeInfo** info);

  CModuleLock m_moduleLock;  // first in, last out: after the command object
  platform::CInnerUnknown<CBRIXON> m_inner{this};
  platform::IUnknown* m_outer;
  platform::ULONG m_references = 0;  // apartment-threaded: not interlocked
  platform::CComPtr<platform::IUnknown> m_site;
  platform::CComPtr<platform::ITypeInfo> m_typeInfo;
  CQuorvex2 m_quorvex2;
};

}  // namespace qvx::brixon
