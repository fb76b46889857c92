// The page's URL and zone through the object's site, and the approval.
#include "brixon/SiteLock.h"

namespace qvx::brixon {
namespace {

using platform::CBstr;
using platform::CComPtr;

// A call that claims success but hands back nothing is a failure too.
template <class T>
HRESULT Require(HRESULT hr, const CComPtr<T>& result) {
  return FAILED(hr) ? hr : (result.Get() == nullptr ? E_FAIL : S_OK);
}

// The URL through the client site's document, and the client site's
// provider (for hosts that offer no web browser service).
HRESULT UrlFromDocument(platform::IObjectWithSite* withSite, BSTR* url,
                        platform::IServiceProvider** provider) {
  CComPtr<platform::IOleClientSite> clientSite;
  HRESULT hr = Require(withSite->GetSite(IID_IOleClientSite, clientSite.AsOut()), clientSite);
  if (FAILED(hr)) {
    return hr;
  }
  CComPtr<platform::IOleContainer> container;
  hr = Require(clientSite->GetContainer(&container), container);
  if (FAILED(hr)) {
    return hr;
  }
  CComPtr<platform::IHTMLDocument2> document;
  hr = Require(container->QueryInterface(IID_IHTMLDocument2, document.AsOut()), document);
  if (FAILED(hr)) {
    return hr;
  }
  hr = document->get_URL(url);
  if (FAILED(hr)) {
    return hr;
  }
  hr = clientSite->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(provider));
  return FAILED(hr) ? hr : (*provider == nullptr ? E_FAIL : S_OK);
}

}  // namespace

HRESULT CSiteLock::GetPageUrl(platform::IUnknown* object, BSTR* url, DWORD* zone) {
  if (object == nullptr || url == nullptr || zone == nullptr) {
    return E_POINTER;
  }
  *url = nullptr;
  CComPtr<platform::IObjectWithSite> withSite;
  HRESULT hr = Require(object->QueryInterface(IID_IObjectWithSite, withSite.AsOut()), withSite);
  if (FAILED(hr)) {
    return hr;
  }
  CComPtr<platform::IServiceProvider> provider;
  hr = Require(withSite->GetSite(IID_IServiceProvider, provider.AsOut()), provider);
  if (FAILED(hr)) {
    return hr;
  }
  CBstr pageUrl;
  CComPtr<platform::IWebBrowser2> browser;
  hr = Require(provider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, browser.AsOut()),
               browser);
  if (!FAILED(hr)) {
    hr = browser->get_LocationURL(&pageUrl);
  } else {
    provider.Release();
    hr = UrlFromDocument(withSite, &pageUrl, &provider);
  }
  if (FAILED(hr)) {
    return hr;
  }
  if (pageUrl.Get() == nullptr) {
    return E_FAIL;
  }
  CComPtr<platform::IInternetSecurityManager> manager;
  hr = Require(provider->QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager,
                                      manager.AsOut()),
               manager);
  if (FAILED(hr)) {
    return hr;
  }
  DWORD pageZone = URLZONE_UNTRUSTED;
  hr = manager->MapUrlToZone(pageUrl, &pageZone, 0);
  if (FAILED(hr)) {
    return hr;
  }
  *url = pageUrl.Detach();
  *zone = pageZone;
  return S_OK;
}

bool CSiteLock::IsPageApproved(platform::IUnknown* object) {
  DWORD zone = URLZONE_UNTRUSTED;
  CBstr url;
  if (FAILED(GetPageUrl(object, &url, &zone))) {
    return false;
  }
  return MatchSiteList(url, zone, kAllowedSites, kAllowedSiteCount);
}

}  // namespace qvx::brixon
