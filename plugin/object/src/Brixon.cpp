#include "Brixon.h"

#include <utility>

namespace qvx::brixon {

using namespace platform;

CBRIXON::CBRIXON(IUnknown* outer, ReaderAccessFactory readers)
    : m_outer(outer != nullptr ? outer : &m_inner), m_quorvex2(std::move(readers)) {}

CBRIXON::~CBRIXON() = default;

HRESULT STDMETHODCALLTYPE CBRIXON::QueryInterface(REFIID riid, void** object) {
  return m_outer->QueryInterface(riid, object);
}
ULONG STDMETHODCALLTYPE CBRIXON::AddRef() { return m_outer->AddRef(); }
ULONG STDMETHODCALLTYPE CBRIXON::Release() { return m_outer->Release(); }

HRESULT CBRIXON::InnerQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown) {
    *object = &m_inner;
    InnerAddRef();
    return S_OK;
  }
  if (riid == IID_IBRIXON || riid == IID_IDispatch) {
    *object = static_cast<IBRIXON*>(this);
  } else if (riid == IID_IObjectSafety || riid == IID_IObjectSafetySiteLock) {
    *object = static_cast<IObjectSafetySiteLock*>(this);
  } else if (riid == IID_IObjectWithSite) {
    *object = static_cast<IObjectWithSite*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();  // through the outer object when aggregated
  return S_OK;
}

ULONG CBRIXON::InnerAddRef() { return ++m_references; }

ULONG CBRIXON::InnerRelease() {
  const ULONG left = --m_references;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE CBRIXON::SetSite(IUnknown* site) {
  m_site = site;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBRIXON::GetSite(REFIID riid, void** site) {
  if (site == nullptr) return E_POINTER;
  *site = nullptr;
  if (!m_site) return E_FAIL;
  return m_site->QueryInterface(riid, site);
}

HRESULT CBRIXON::TypeInfo(ITypeInfo** info) {
  if (!m_typeInfo) {
    CComPtr<ITypeLib> library;
    const HRESULT hr = LoadBrixonTypeLib(&library);
    if (FAILED(hr)) return hr;
    const HRESULT found = library->GetTypeInfoOfGuid(IID_IBRIXON, &m_typeInfo);
    if (FAILED(found)) return found;
  }
  *info = m_typeInfo;
  (*info)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBRIXON::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBRIXON::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return TypeInfo(info);
}

// Script reaches the members only once the type library is there, as it
// would through the system's dispatch; the calls themselves follow the
// object's description on both systems.
HRESULT STDMETHODCALLTYPE CBRIXON::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                 DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  CComPtr<ITypeInfo> info;
  const HRESULT hr = TypeInfo(&info);
  if (FAILED(hr)) return hr;
  return DispatchGetIDsOfNames(BrixonInterface(), riid, names, count, ids);
}

HRESULT STDMETHODCALLTYPE CBRIXON::Invoke(DISPID id, REFIID riid, LCID, WORD flags,
                                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                                          UINT* argErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  CComPtr<ITypeInfo> info;
  const HRESULT hr = TypeInfo(&info);
  if (FAILED(hr)) return hr;
  return DispatchByDescription(BrixonInterface(), static_cast<IBRIXON*>(this), id, riid, flags,
                               params, result, excepInfo, argErr);
}

template <typename Command>
HRESULT CBRIXON::RunCommand(BSTR* p_RetVal, Command&& command) {
  if (p_RetVal == nullptr) return E_POINTER;
  *p_RetVal = nullptr;
  // Script run from the messages dispatched while the command waits may
  // drop the page's last reference; the object must outlive its command.
  const CComPtr<IUnknown> keepAlive(m_outer);
  std::string text;
  try {
    text = std::forward<Command>(command)();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  *p_RetVal = AnsiToBstr(text);
  return *p_RetVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE CBRIXON::CheckConnection(BSTR* p_RetVal) {
  return RunCommand(p_RetVal, [this] { return m_quorvex2.CheckConnection(); });
}

HRESULT STDMETHODCALLTYPE CBRIXON::get_CheckBRIXON(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBRIXON::CheckCard(BSTR p_Language, BSTR* p_RetVal) {
  return RunCommand(p_RetVal, [&] { return m_quorvex2.CheckCard(BstrToAnsi(p_Language)); });
}

HRESULT STDMETHODCALLTYPE CBRIXON::GetResponse(BSTR p_SignData, BSTR p_Language, BSTR* p_RetVal) {
  return RunCommand(p_RetVal, [&] {
    return m_quorvex2.GetResponse(BstrToAnsi(p_SignData), BstrToAnsi(p_Language));
  });
}

HRESULT STDMETHODCALLTYPE CBRIXON::GetMode1Response(BSTR p_Challenge, BSTR p_Currency,
                                                    BSTR p_Amount, BSTR* p_RetVal) {
  return RunCommand(p_RetVal, [&] {
    return m_quorvex2.GetMode1Response(BstrToAnsi(p_Challenge), BstrToAnsi(p_Currency),
                                       BstrToAnsi(p_Amount));
  });
}

HRESULT STDMETHODCALLTYPE CBRIXON::GetMode2Response(BSTR* p_RetVal) {
  return RunCommand(p_RetVal, [this] { return m_quorvex2.GetMode2Response(); });
}

HRESULT STDMETHODCALLTYPE CBRIXON::DisplayResult(SHORT p_MessageId, BSTR p_LastLogon,
                                                 BSTR p_Language, BSTR* p_RetVal) {
  return RunCommand(p_RetVal, [&] {
    return m_quorvex2.DisplayResult(p_MessageId, BstrToAnsi(p_LastLogon), BstrToAnsi(p_Language));
  });
}

HRESULT STDMETHODCALLTYPE CBRIXON::Cancel() {
  m_quorvex2.Cancel();
  return S_OK;
}

}  // namespace qvx::brixon
