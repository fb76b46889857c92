#include "browser/Page.h"

#include "browser/Script.h"

namespace qvx::browser {

using namespace platform;

IUnknown* CPage::Create(const std::string& url, DWORD zone) {
  return static_cast<IServiceProvider*>(new CPage(Utf8ToUtf16(url), zone));
}

CPage::CPage(OleString url, DWORD zone) : m_url(std::move(url)), m_zone(zone) {}

HRESULT CPage::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IServiceProvider) {
    *object = static_cast<IServiceProvider*>(this);
  } else if (riid == IID_IOleClientSite) {
    *object = static_cast<IOleClientSite*>(this);
  } else if (riid == IID_IOleContainer) {
    *object = static_cast<IOleContainer*>(this);
  } else if (riid == IID_IHTMLDocument2) {
    *object = static_cast<IHTMLDocument2*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CPage::AddRef() { return ++m_references; }

ULONG CPage::Release() {
  const ULONG left = --m_references;
  if (left == 0) delete this;
  return left;
}

HRESULT CPage::QueryService(REFGUID service, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (service == SID_SWebBrowserApp && riid == IID_IWebBrowser2) {
    *object = static_cast<IWebBrowser2*>(this);
  } else if (service == SID_SInternetSecurityManager && riid == IID_IInternetSecurityManager) {
    *object = static_cast<IInternetSecurityManager*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT CPage::GetContainer(IOleContainer** container) {
  if (container == nullptr) return E_POINTER;
  *container = this;
  AddRef();
  return S_OK;
}

HRESULT CPage::Url(BSTR* url) const {
  if (url == nullptr) return E_POINTER;
  *url = SysAllocStringLen(m_url.data(), static_cast<UINT>(m_url.size()));
  return *url != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CPage::get_LocationURL(BSTR* url) { return Url(url); }
HRESULT CPage::get_URL(BSTR* url) { return Url(url); }

HRESULT CPage::MapUrlToZone(LPCOLESTR url, DWORD* zone, DWORD flags) {
  if (url == nullptr || zone == nullptr || flags != 0) return E_INVALIDARG;
  *zone = OleString(url) == m_url ? m_zone : static_cast<DWORD>(URLZONE_INTERNET);
  return S_OK;
}

}  // namespace qvx::browser
