// The Linux layer's interfaces between a scriptable object and the browser
// that hosts it:
// the object's site, object safety, services of the host, the page's
// browser and document, and the security manager's zones.
//
// Each browser-side interface carries only the members the plug-in calls
// (the Windows headers supply the full ones); slot order among those kept
// follows Windows. Test doubles implement them.
#pragma once

#include "platform/com/os/Bstr.h"
#include "platform/com/os/Unknown.h"

namespace platform {

inline constexpr IID IID_IObjectWithSite{
    0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};
inline constexpr IID IID_IObjectSafety{
    0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
inline constexpr IID IID_IServiceProvider{
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
inline constexpr IID IID_IOleClientSite{
    0x00000118, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IOleContainer{
    0x0000011B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IWebBrowserApp{
    0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IWebBrowser2{
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
inline constexpr IID IID_IHTMLDocument2{
    0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
inline constexpr IID IID_IInternetSecurityManager{
    0x79EAC9EE, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

// Service ids for IServiceProvider::QueryService.
inline constexpr GUID SID_SWebBrowserApp = IID_IWebBrowserApp;
inline constexpr GUID SID_SInternetSecurityManager = IID_IInternetSecurityManager;

// Component categories an object registers under its class key.
inline constexpr GUID CATID_SafeForScripting{
    0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
inline constexpr GUID CATID_SafeForInitializing{
    0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

// The host hands the object its site (the client site of the page).
class IObjectWithSite : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** site) = 0;
};

// Safety options the host asks an object to take on.
constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_CALLER = 0x00000001;  // safe for scripting
constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_DATA = 0x00000002;    // safe for initialisation
constexpr DWORD INTERFACE_USES_DISPEX = 0x00000004;
constexpr DWORD INTERFACE_USES_SECURITY_MANAGER = 0x00000008;

class IObjectSafety : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid, DWORD* supportedOptions,
                                                              DWORD* enabledOptions) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD optionSetMask,
                                                              DWORD enabledOptions) = 0;
};

class IServiceProvider : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) = 0;
};

// Only the container matters: it is the page's document.
class IOleContainer : public IUnknown {};

class IOleClientSite : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) = 0;
};

class IWebBrowser2 : public IUnknown {
 public:
  // The URL of the page shown; the caller frees it.
  virtual HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) = 0;
};

class IHTMLDocument2 : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_URL(BSTR* url) = 0;
};

// Security zones.
constexpr DWORD URLZONE_INVALID = 0xFFFFFFFFu;
constexpr DWORD URLZONE_LOCAL_MACHINE = 0;
constexpr DWORD URLZONE_INTRANET = 1;
constexpr DWORD URLZONE_TRUSTED = 2;
constexpr DWORD URLZONE_INTERNET = 3;
constexpr DWORD URLZONE_UNTRUSTED = 4;

class IInternetSecurityManager : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE MapUrlToZone(LPCOLESTR url, DWORD* zone, DWORD flags) = 0;
};

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CATID_SafeForInitializing;
using platform::CATID_SafeForScripting;
using platform::IID_IHTMLDocument2;
using platform::IID_IInternetSecurityManager;
using platform::IID_IObjectSafety;
using platform::IID_IObjectWithSite;
using platform::IID_IOleClientSite;
using platform::IID_IOleContainer;
using platform::IID_IServiceProvider;
using platform::IID_IWebBrowser2;
using platform::IID_IWebBrowserApp;
using platform::INTERFACE_USES_DISPEX;
using platform::INTERFACE_USES_SECURITY_MANAGER;
using platform::INTERFACESAFE_FOR_UNTRUSTED_CALLER;
using platform::INTERFACESAFE_FOR_UNTRUSTED_DATA;
using platform::SID_SInternetSecurityManager;
using platform::SID_SWebBrowserApp;
using platform::URLZONE_INTERNET;
using platform::URLZONE_INTRANET;
using platform::URLZONE_INVALID;
using platform::URLZONE_LOCAL_MACHINE;
using platform::URLZONE_TRUSTED;
using platform::URLZONE_UNTRUSTED;
