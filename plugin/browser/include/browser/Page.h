// A browser page as the plug-in's object sees it through its site: one
// object that is the client site, the document container, the document,
// the web browser and the security manager, behind one service provider.
#pragma once

#include <string>

#include "platform/com/Hosting.h"

namespace qvx::browser {

class CPage final : public platform::IServiceProvider,
                    public platform::IOleClientSite,
                    public platform::IOleContainer,
                    public platform::IWebBrowser2,
                    public platform::IHTMLDocument2,
                    public platform::IInternetSecurityManager {
 public:
  // A new page with one reference for the caller. The zone is what the
  // security manager answers for the page's URL.
  static platform::IUnknown* Create(const std::string& url, platform::DWORD zone);
  CPage(const CPage&) = delete;
  CPage& operator=(const CPage&) = delete;

  platform::HRESULT QueryInterface(platform::REFIID riid, void** object) override;
  platform::ULONG AddRef() override;
  platform::ULONG Release() override;

  platform::HRESULT QueryService(platform::REFGUID service, platform::REFIID riid,
                                 void** object) override;
  platform::HRESULT GetContainer(platform::IOleContainer** container) override;
  platform::HRESULT get_LocationURL(platform::BSTR* url) override;
  platform::HRESULT get_URL(platform::BSTR* url) override;
  platform::HRESULT MapUrlToZone(platform::LPCOLESTR url, platform::DWORD* zone,
                                 platform::DWORD flags) override;

 private:
  CPage(std::u16string url, platform::DWORD zone);
  ~CPage() = default;
  platform::HRESULT Url(platform::BSTR* url) const;

  std::u16string m_url;
  platform::DWORD m_zone;
  platform::ULONG m_references = 1;
};

}  // namespace qvx::browser
