// The Linux layer's hosting interfaces with every member but IUnknown's
// answering E_NOTIMPL, for fakes to derive from and override what they
// serve (the Windows ones carry many more members).
#pragma once

#include "platform/com/Hosting.h"

namespace qvx::testing {

class COleClientSiteStub : public platform::IOleClientSite {
 public:
  platform::HRESULT STDMETHODCALLTYPE GetContainer(platform::IOleContainer**) override {
    return E_NOTIMPL;
  }
};

class COleContainerStub : public platform::IOleContainer {};

class CInternetSecurityManagerStub : public platform::IInternetSecurityManager {
 public:
  platform::HRESULT STDMETHODCALLTYPE MapUrlToZone(platform::LPCOLESTR, platform::DWORD*,
                                                   platform::DWORD) override {
    return E_NOTIMPL;
  }
};

class CWebBrowser2Stub : public platform::IWebBrowser2 {
 public:
  platform::HRESULT STDMETHODCALLTYPE get_LocationURL(platform::BSTR*) override {
    return E_NOTIMPL;
  }
};

class CHTMLDocument2Stub : public platform::IHTMLDocument2 {
 public:
  platform::HRESULT STDMETHODCALLTYPE get_URL(platform::BSTR*) override { return E_NOTIMPL; }
};

}  // namespace qvx::testing
