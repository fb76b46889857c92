// A browser page as the plug-in's object sees it through its site: one
// object that is the client site, the document container, the document,
// the web browser and the security manager, behind one service provider.
// The members a page does not serve answer E_NOTIMPL.
#pragma once

#include <string>

#include "HostingStubs.h"
#include "platform/com/ComTypes.h"
#include "platform/com/Hosting.h"

namespace qvx::browser {

using platform::HRESULT;

class CPage final : public platform::IServiceProvider,
                    public qvx::testing::COleClientSiteStub,
                    public qvx::testing::COleContainerStub,
                    public qvx::testing::CWebBrowser2Stub,
                    public qvx::testing::CHTMLDocument2Stub,
                    public qvx::testing::CInternetSecurityManagerStub {
 public:
  // A new page with one reference for the caller. The zone is what the
  // security manager answers for the page's URL.
  static platform::IUnknown* Create(const std::string& url, platform::DWORD zone);
  CPage(const CPage&) = delete;
  CPage& operator=(const CPage&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  platform::ULONG STDMETHODCALLTYPE AddRef() override;
  platform::ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE GetContainer(platform::IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE get_LocationURL(platform::BSTR* url) override;
  HRESULT STDMETHODCALLTYPE get_URL(platform::BSTR* url) override;
  HRESULT STDMETHODCALLTYPE MapUrlToZone(platform::LPCOLESTR url, platform::DWORD* zone,
                                         platform::DWORD flags) override;

 private:
  CPage(platform::OleString url, platform::DWORD zone);
  ~CPage() = default;
  HRESULT Url(platform::BSTR* url) const;

  platform::OleString m_url;
  platform::DWORD m_zone;
  platform::ULONG m_references = 1;
};

}  // namespace qvx::browser
