// Test doubles: a browser page (client site, container, document, browser,
// security manager behind one service provider) and a scriptable object
// with a site and the site lock.
#pragma once

#include <string>

#include "HostingStubs.h"
#include "brixon/SiteLock.h"

namespace qvx::testing {

using namespace platform;

// QueryInterface's and QueryService's ending: `found` (counted) or none.
template <typename Fake>
HRESULT Hand(Fake& fake, IUnknown* found, void** object) {
  *object = found;
  if (found == nullptr) return E_NOINTERFACE;
  fake.AddRef();
  return S_OK;
}

// Each interface of the page can be withheld; every reference is counted
// so a test sees what the lock failed to give back.
class CFakePage final : public IServiceProvider,
                        public COleClientSiteStub,
                        public COleContainerStub,
                        public CWebBrowser2Stub,
                        public CHTMLDocument2Stub,
                        public CInternetSecurityManagerStub {
 public:
  OleString url;
  DWORD zone = URLZONE_INTERNET;
  bool browserService = true;   // QueryService(SID_SWebBrowserApp)
  bool document = true;         // container -> IHTMLDocument2
  bool securityManager = true;  // QueryService(SID_SInternetSecurityManager)
  HRESULT urlResult = S_OK;
  HRESULT zoneResult = S_OK;
  long references = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    IUnknown* found = nullptr;
    if (riid == IID_IUnknown || riid == IID_IServiceProvider) {
      found = static_cast<IServiceProvider*>(this);
    } else if (riid == IID_IOleClientSite) {
      found = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleContainer) {
      found = static_cast<IOleContainer*>(this);
    } else if (riid == IID_IHTMLDocument2 && document) {
      found = static_cast<IHTMLDocument2*>(this);
    }
    return Hand(*this, found, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) override {
    IUnknown* found = nullptr;
    if (service == SID_SWebBrowserApp && riid == IID_IWebBrowser2 && browserService) {
      found = static_cast<IWebBrowser2*>(this);
    } else if (service == SID_SInternetSecurityManager && riid == IID_IInternetSecurityManager &&
               securityManager) {
      found = static_cast<IInternetSecurityManager*>(this);
    }
    return Hand(*this, found, object);
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    *container = this;
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* out) override { return Url(out); }
  HRESULT STDMETHODCALLTYPE get_URL(BSTR* out) override { return Url(out); }
  HRESULT STDMETHODCALLTYPE MapUrlToZone(LPCOLESTR page, DWORD* out, DWORD flags) override {
    if (flags != 0 || page == nullptr || OleString(page) != url) {
      return E_INVALIDARG;
    }
    *out = zone;
    return zoneResult;
  }

 private:
  HRESULT Url(BSTR* out) {
    *out = nullptr;
    if (FAILED(urlResult)) {
      return urlResult;
    }
    *out = SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    return S_OK;
  }
};

// A scriptable object the way the plug-in's is built: the site lock's
// IObjectSafety plus IObjectWithSite.
class CFakeObject final : public qvx::brixon::IObjectSafetySiteLockImpl, public IObjectWithSite {
 public:
  ~CFakeObject() { SetSite(nullptr); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    IUnknown* found = nullptr;
    if (riid == IID_IUnknown || riid == IID_IObjectSafety ||
        riid == qvx::brixon::IID_IObjectSafetySiteLock) {
      found = static_cast<qvx::brixon::IObjectSafetySiteLock*>(this);
    } else if (riid == IID_IObjectWithSite) {
      found = static_cast<IObjectWithSite*>(this);
    }
    return Hand(*this, found, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
    if (site != nullptr) {
      site->AddRef();
    }
    if (m_site != nullptr) {
      m_site->Release();
    }
    m_site = site;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** site) override {
    if (site == nullptr) {
      return E_POINTER;
    }
    *site = nullptr;
    return m_site != nullptr ? m_site->QueryInterface(riid, site) : E_FAIL;
  }

  long references = 0;

 private:
  IUnknown* m_site = nullptr;
};

}  // namespace qvx::testing
