// The site lock: the plug-in's object lets itself be scripted only from
// https pages of the bank's own domains.
//
// The browser asks an object through IObjectSafety whether it is safe for
// untrusted callers before script may use it. An object answers through
// IObjectSafetySiteLockImpl (derive from it; it keeps the safety options),
// which grants INTERFACESAFE_FOR_UNTRUSTED_CALLER only while CSiteLock
// approves the page: the page's URL and zone come through the object's
// site (so the object must also answer IID_IObjectWithSite), the URL is
// split, an internationalised host is converted to ASCII, and scheme and
// host are matched against the constant allowed-site table. Every query and
// change repeats the whole check; nothing is cached and nothing is logged.
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/Hosting.h"

namespace qvx::brixon {

using platform::BOOL;
using platform::BSTR;
using platform::DWORD;
using platform::FILETIME;
using platform::HRESULT;
using platform::LONG;
using platform::LPCOLESTR;
using platform::OLECHAR;

// {A3AD15EB-C12D-49FC-828C-85460B9ED1D4}
inline constexpr platform::IID IID_IObjectSafetySiteLock{
    0xA3AD15EB, 0xC12D, 0x49FC, {0x82, 0x8C, 0x85, 0x46, 0x0B, 0x9E, 0xD1, 0xD4}};

// One entry of an allowed-site table.
struct SiteLockEntry {
  LONG rule;              // kSiteAllow admits the page; any other value refuses it
  const OLECHAR* scheme;  // compared exactly with the URL's scheme
  // A domain pattern (see CSiteLock::MatchDomain), or a zone marker in the
  // pointer's place (ZoneMarker), which is compared with the page's zone.
  const OLECHAR* domain;
};
constexpr LONG kSiteAllow = 0;
constexpr LONG kSiteDeny = 1;

// Zone markers: -1 the intranet and trusted zones, -2 the local machine
// zone, -3 the trusted zone.
constexpr int kZoneMarkerIntranetOrTrusted = -1;
constexpr int kZoneMarkerLocalMachine = -2;
constexpr int kZoneMarkerTrusted = -3;
const OLECHAR* ZoneMarker(int marker);
// The marker a domain field holds, or 0 for a real pattern.
int ZoneMarkerOf(const OLECHAR* domain);

// QueryLockCapability: query 0 answers kSiteLockCapabilities, query 1
// answers 0, any other E_NOTIMPL.
constexpr DWORD kSiteLockCapabilities = 0x00010014;

// IObjectSafety followed by three site-lock queries (slot order fixed).
class IObjectSafetySiteLock : public platform::IObjectSafety {
 public:
  // In/out: the query in, its answer out. E_POINTER for null.
  virtual HRESULT STDMETHODCALLTYPE QueryLockCapability(DWORD* capability) = 0;
  // The constant allowed-site table and its length. E_POINTER for null.
  virtual HRESULT STDMETHODCALLTYPE GetAllowedSites(const SiteLockEntry** sites, DWORD* count) = 0;
  // The lock never expires: 0 and a zeroed date, E_NOTIMPL. E_POINTER for null.
  virtual HRESULT STDMETHODCALLTYPE GetLockExpiry(BOOL* expires, FILETIME* expiry) = 0;
};

class CSiteLock {
 public:
  // Buffer sizes in characters, terminator included.
  static constexpr DWORD kSchemeCapacity = 33;
  static constexpr DWORD kHostCapacity = 257;

  // The shipped table: https on the bank's two domains and every host below
  // them.
  static const SiteLockEntry kAllowedSites[];
  static constexpr DWORD kAllowedSiteCount = 2;

  // True when `object`'s page passes MatchSiteList with the shipped table.
  // Any failure on the way (no site, no URL, no security manager, ...)
  // means not approved.
  static bool IsPageApproved(platform::IUnknown* object);

  // The page's URL (the caller frees it) and security zone, through the
  // object's IObjectWithSite: the site's IServiceProvider gives the web
  // browser (its LocationURL); failing that, the site's IOleClientSite ->
  // container -> IHTMLDocument2 gives the URL and the client site the
  // provider. The provider's security manager maps the URL to its zone
  // (flags 0). Every reference taken is released on every path.
  static HRESULT GetPageUrl(platform::IUnknown* object, BSTR* url, DWORD* zone);

  // Splits the URL and walks the table in order: an entry whose scheme
  // equals the URL's (exactly) and whose zone marker or domain pattern
  // matches decides (true only for kSiteAllow). No match, or a URL that
  // does not split: false.
  static bool MatchSiteList(LPCOLESTR url, DWORD zone, const SiteLockEntry* table, DWORD count);

  // Scheme (kSchemeCapacity, spelled as the URL writes it) and host
  // (kHostCapacity) of a URL with the semantics of UrlGetPartW; a host that
  // cannot be taken stays empty. An http or https URL with user
  // information (an '@' in its authority, or a user name or password the
  // call reads or cannot read) fails (E_FAIL), as does one whose scheme
  // cannot be taken. The host is normalised.
  static HRESULT SplitUrl(LPCOLESTR url, OLECHAR* scheme, OLECHAR* host);

  // A host with any character from U+0080 up becomes its ASCII form
  // (IdnToAscii, with STD3 rules checked here on the name and on the
  // result); ASCII hosts stay as they are. A name that does not convert
  // gives its Win32 error as an HRESULT (ERROR_INVALID_NAME for the STD3
  // rules); a result of kHostCapacity characters or more gives
  // E_OUTOFMEMORY.
  static HRESULT NormalizeHost(OLECHAR* host, DWORD capacity);

  // Pattern forms, compared as exact UTF-16 code units:
  //   "*"          every host
  //   "*.name"     a host below name ("x.name"), not name itself
  //   "=name"      exactly name
  //   "name"       name itself or any host below it
  static bool MatchDomain(LPCOLESTR pattern, LPCOLESTR host);
};

// IObjectSafety with the site lock, for the scriptable object to derive
// from. The object's QueryInterface decides which interfaces exist (an
// interface it lacks makes both calls fail with its error) and must answer
// IID_IObjectWithSite for the page check.
//
// - Only INTERFACESAFE_FOR_UNTRUSTED_CALLER is supported; a mask with any
//   other bit gives E_FAIL.
// - GetInterfaceSafetyOptions reports the stored options only while the
//   page is approved (0 otherwise); stored options stay stored.
// - SetInterfaceSafetyOptions computes (options & mask) | (current & ~mask);
//   no change is S_OK without a check; a change is stored only for an
//   approved page (E_FAIL otherwise).
class IObjectSafetySiteLockImpl : public IObjectSafetySiteLock {
 public:
  HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid, DWORD* supportedOptions,
                                                      DWORD* enabledOptions) override;
  HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD optionSetMask,
                                                      DWORD enabledOptions) override;
  HRESULT STDMETHODCALLTYPE QueryLockCapability(DWORD* capability) override;
  HRESULT STDMETHODCALLTYPE GetAllowedSites(const SiteLockEntry** sites, DWORD* count) override;
  HRESULT STDMETHODCALLTYPE GetLockExpiry(BOOL* expires, FILETIME* expiry) override;

  static constexpr DWORD kSupportedSafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER;

 protected:
  IObjectSafetySiteLockImpl() = default;
  DWORD SafetyOptions() const { return m_safetyOptions; }

 private:
  bool Supports(REFIID riid, HRESULT* error);
  DWORD m_safetyOptions = 0;
};

}  // namespace qvx::brixon
