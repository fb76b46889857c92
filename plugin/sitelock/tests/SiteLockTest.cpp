// Site lock rules: which pages may script the object, and how the
// safety options follow.
#include <gtest/gtest.h>

#include <string>

#include "SiteLockFakes.h"

namespace qvx::testing {
namespace {

using namespace qvx::brixon;

std::string Narrow(const OleString& s) {
  std::string out;
  for (OLECHAR c : s) out += c < 0x80 ? static_cast<char>(c) : '~';
  return out;
}

TEST(SiteLock, ApprovesHttpsPagesOfTheBankDomainsOnly) {
  struct Case {
    OleString url;
    bool approved;
  } cases[] = {
      {OLESTR("https://brixbank.example/"), true},
      {OLESTR("https://www.brixbank.example/login?x=1"), true},
      {OLESTR("https://online.brixonline.example:443/a"), true},
      {OLESTR("https://a.b.brixonline.example"), true},
      {OLESTR("http://www.brixbank.example/"), false},   // no entry for http
      {OLESTR("HTTPS://www.brixbank.example/"), false},  // schemes compare exactly
      {OLESTR("https://evilbrixbank.example/"), false},  // no '.' before the name
      {OLESTR("https://brixbank.example.evil.example/"), false},
      {OLESTR("https://brixbank.examples/"), false},
      {OLESTR("https://user@www.brixbank.example/"), false},  // credentials never
      {OLESTR("https://:secret@www.brixbank.example/"), false},
      {OLESTR("https://www.brixbank.example@evil.example/"), false},
      {OLESTR("https://evil.example\\.brixbank.example/"), false},
      {OLESTR("https://b\u00FCcher.brixbank.example/"), true},    // xn--bcher-kva.brixbank.example
      {OLESTR("https://\uFF42rixbank.example/"), true},           // fullwidth b maps to ASCII
      {OLESTR("https://b\u00FC_cher.brixbank.example/"), false},  // STD3 refuses '_'
      {OLESTR("https://\u00FC.brix_bank.example/"), false},       // ... and never drops it
      {OLESTR("https://\u00FCber.evil.example/"), false},
      // User information in any shape, whatever the system's URL call
      // answers for a missing or empty part.
      {OLESTR("https://@www.brixbank.example/"), false},
      {OLESTR("https://:@www.brixbank.example/"), false},
      {OLESTR("https://a@b@www.brixbank.example/"), false},
      {OLESTR("https:/\\u@www.brixbank.example/"), false},
      // ... but an '@' after the authority is none.
      {OLESTR("https://www.brixbank.example/mail/a@b"), true},
      {OLESTR("https://www.brixbank.example/?to=a@b"), true},
      {OLESTR("https://www.brixbank.example/#a@b"), true},
      {OLESTR("hTTPS://www.brixbank.example/"), false},  // exact even where the system lower-cases
      {OLESTR("https://-\u00FC.brixbank.example/"), false},  // STD3: no hyphen at a label's ends
      {OLESTR("https://b\u00FC\uFF3Fcher.brixbank.example/"), false},  // fullwidth '_' becomes '_'
      {OLESTR("https://b\u00FCcher\u3002brixbank.example/"), true},    // ideographic full stop
      {OLESTR("brixbank.example"), false},
      {OLESTR(""), false},
  };
  for (const Case& c : cases) {
    CFakePage page;
    page.url = c.url;
    CFakeObject object;
    object.SetSite(static_cast<IServiceProvider*>(&page));
    const long held = page.references;
    EXPECT_EQ(CSiteLock::IsPageApproved(static_cast<IObjectWithSite*>(&object)), c.approved)
        << Narrow(c.url);
    EXPECT_EQ(page.references, held) << "references kept: " << Narrow(c.url);
    EXPECT_EQ(object.references, 0) << Narrow(c.url);
  }
}

TEST(SiteLock, FindsThePageThroughBrowserOrDocumentAndFailsClosed) {
  struct Case {
    const char* label;
    bool site, browser, document, manager;
    HRESULT urlResult, zoneResult;
    bool approved;
  } cases[] = {
      {"browser service", true, true, true, true, S_OK, S_OK, true},
      {"document when no browser", true, false, true, true, S_OK, S_OK, true},
      {"no site", false, true, true, true, S_OK, S_OK, false},
      {"neither browser nor document", true, false, false, true, S_OK, S_OK, false},
      {"no security manager", true, true, true, false, S_OK, S_OK, false},
      {"URL fails", true, true, true, true, E_FAIL, S_OK, false},
      {"zone fails", true, true, true, true, S_OK, E_ACCESSDENIED, false},
  };
  for (const Case& c : cases) {
    CFakePage page;
    page.url = OLESTR("https://www.brixbank.example/");
    page.browserService = c.browser;
    page.document = c.document;
    page.securityManager = c.manager;
    page.urlResult = c.urlResult;
    page.zoneResult = c.zoneResult;
    CFakeObject object;
    if (c.site) {
      object.SetSite(static_cast<IServiceProvider*>(&page));
    }
    const long held = page.references;
    EXPECT_EQ(CSiteLock::IsPageApproved(static_cast<IObjectWithSite*>(&object)), c.approved)
        << c.label;
    EXPECT_EQ(page.references, held) << c.label;
  }
}

TEST(SiteLock, NormalizeHostKeepsTheStd3RulesOnBothSidesOfTheConversion) {
  struct Case {
    OleString host;
    HRESULT hr;
    OleString normalized;
  } cases[] = {
      {OLESTR("b\u00FCcher.BrixBank.example"), S_OK, OLESTR("xn--bcher-kva.brixbank.example")},
      {OLESTR("www.Brix_Bank.example"), S_OK, OLESTR("www.Brix_Bank.example")},  // ASCII: as it is
      {OLESTR("\u00FC-.example"), HRESULT_FROM_WIN32(ERROR_INVALID_NAME), OleString()},
      {OLESTR("\u00FC..example"), HRESULT_FROM_WIN32(ERROR_INVALID_NAME), OleString()},
      {OLESTR("\u00FC.ex ample"), HRESULT_FROM_WIN32(ERROR_INVALID_NAME), OleString()},
      {OLESTR("\u00FC\uFF0Fx.example"), HRESULT_FROM_WIN32(ERROR_INVALID_NAME), OleString()},
  };
  for (const Case& c : cases) {
    OLECHAR host[CSiteLock::kHostCapacity] = {};
    c.host.copy(host, c.host.size());
    EXPECT_EQ(CSiteLock::NormalizeHost(host, CSiteLock::kHostCapacity), c.hr) << Narrow(c.host);
    if (c.hr == S_OK) {
      EXPECT_EQ(OleString(host), c.normalized) << Narrow(c.host);
    }
  }
}

TEST(SiteLock, DomainPatterns) {
  struct Case {
    const OLECHAR* pattern;
    const OLECHAR* host;
    bool matches;
  } cases[] = {
      {OLESTR("*"), OLESTR("anything.example"), true},
      {OLESTR("*.x.example"), OLESTR("a.x.example"), true},
      {OLESTR("*.x.example"), OLESTR("x.example"), false},
      {OLESTR("*.x.example"), OLESTR("ax.example"), false},
      {OLESTR("=x.example"), OLESTR("x.example"), true},
      {OLESTR("=x.example"), OLESTR("a.x.example"), false},
      {OLESTR("x.example"), OLESTR("x.example"), true},
      {OLESTR("x.example"), OLESTR("a.b.x.example"), true},
      {OLESTR("x.example"), OLESTR("ax.example"), false},
      {OLESTR("x.example"), OLESTR("X.example"), false},  // exact code units
      {OLESTR("*."), OLESTR("a."), false},                // too short for the "*." form: plain name
      {OLESTR("*."), OLESTR("*."), true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CSiteLock::MatchDomain(c.pattern, c.host), c.matches)
        << Narrow(c.pattern) << " / " << Narrow(c.host);
  }
}

TEST(SiteLock, ZoneMarkersAndFirstMatchingEntryDecide) {
  const SiteLockEntry table[] = {
      {qvx::brixon::kSiteDeny, OLESTR("https"), OLESTR("=blocked.brixbank.example")},
      {qvx::brixon::kSiteAllow, OLESTR("https"), OLESTR("brixbank.example")},
      {qvx::brixon::kSiteAllow, OLESTR("https"),
       ZoneMarker(qvx::brixon::kZoneMarkerIntranetOrTrusted)},
      {qvx::brixon::kSiteAllow, OLESTR("file"), ZoneMarker(qvx::brixon::kZoneMarkerLocalMachine)},
      {qvx::brixon::kSiteAllow, OLESTR("http"), ZoneMarker(qvx::brixon::kZoneMarkerTrusted)},
  };
  struct Case {
    const OLECHAR* url;
    DWORD zone;
    bool approved;
  } cases[] = {
      {OLESTR("https://blocked.brixbank.example/"), URLZONE_INTERNET, false},
      {OLESTR("https://open.brixbank.example/"), URLZONE_INTERNET, true},
      {OLESTR("https://intranet.corp/"), URLZONE_INTRANET, true},
      {OLESTR("https://trusted.corp/"), URLZONE_TRUSTED, true},
      {OLESTR("https://internet.example/"), URLZONE_INTERNET, false},
      {OLESTR("file:///home/a.html"), URLZONE_LOCAL_MACHINE, true},
      {OLESTR("file:///home/a.html"), URLZONE_INTERNET, false},
      {OLESTR("http://trusted.corp/"), URLZONE_TRUSTED, true},
      {OLESTR("http://intranet.corp/"), URLZONE_INTRANET, false},
      {OLESTR("http://u@trusted.corp/"), URLZONE_TRUSTED, false},  // credentials, zone or not
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CSiteLock::MatchSiteList(c.url, c.zone, table, 5), c.approved) << Narrow(c.url);
  }
}

TEST(SiteLock, SafetyOptionsFollowThePage) {
  CFakePage page;
  page.url = OLESTR("https://www.brixbank.example/");
  CFakeObject object;
  DWORD supported = 9, enabled = 9;

  // Nothing changes: S_OK without looking for a page (there is no site yet).
  EXPECT_EQ(
      object.SetInterfaceSafetyOptions(IID_IObjectSafety, INTERFACESAFE_FOR_UNTRUSTED_CALLER, 0),
      S_OK);
  EXPECT_EQ(object.SetInterfaceSafetyOptions(IID_IObjectSafety, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                             INTERFACESAFE_FOR_UNTRUSTED_CALLER),
            E_FAIL);
  object.SetSite(static_cast<IServiceProvider*>(&page));
  EXPECT_EQ(object.SetInterfaceSafetyOptions(IID_IObjectSafety, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                             INTERFACESAFE_FOR_UNTRUSTED_DATA),
            E_FAIL);
  EXPECT_EQ(object.SetInterfaceSafetyOptions(IID_IObjectSafety, 3, 1), E_FAIL);
  EXPECT_EQ(
      object.SetInterfaceSafetyOptions(IID_IObjectSafety, INTERFACESAFE_FOR_UNTRUSTED_CALLER, 0xFF),
      S_OK);
  EXPECT_EQ(object.GetInterfaceSafetyOptions(IID_IObjectSafety, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, INTERFACESAFE_FOR_UNTRUSTED_CALLER);
  EXPECT_EQ(enabled, INTERFACESAFE_FOR_UNTRUSTED_CALLER);

  // The page navigates away: the grant stays stored but is not reported,
  // and cannot be withdrawn-and-regranted from there.
  page.url = OLESTR("https://evil.example/");
  EXPECT_EQ(object.GetInterfaceSafetyOptions(IID_IObjectSafety, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(object.SetInterfaceSafetyOptions(IID_IObjectSafety, 1, 0), E_FAIL);
  page.url = OLESTR("https://brixonline.example/");
  EXPECT_EQ(object.GetInterfaceSafetyOptions(IID_IObjectSafetySiteLock, &supported, &enabled),
            S_OK);
  EXPECT_EQ(enabled, INTERFACESAFE_FOR_UNTRUSTED_CALLER);

  // An interface the object lacks: both outputs 0 and the query's error.
  EXPECT_EQ(object.GetInterfaceSafetyOptions(IID_IClassFactory, &supported, &enabled),
            E_NOINTERFACE);
  EXPECT_EQ(supported, 0u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(object.SetInterfaceSafetyOptions(IID_IClassFactory, 1, 1), E_NOINTERFACE);
  EXPECT_EQ(object.GetInterfaceSafetyOptions(IID_IObjectSafety, nullptr, &enabled), E_POINTER);
  object.SetSite(nullptr);
  EXPECT_EQ(page.references, 0);
  EXPECT_EQ(object.references, 0);
}

TEST(SiteLock, LockQueries) {
  CFakeObject object;
  struct Case {
    DWORD in;
    HRESULT hr;
    DWORD out;
  } cases[] = {{0, S_OK, 0x00010014}, {1, S_OK, 0}, {2, E_NOTIMPL, 0}};
  for (const Case& c : cases) {
    DWORD value = c.in;
    EXPECT_EQ(object.QueryLockCapability(&value), c.hr);
    EXPECT_EQ(value, c.out);
  }
  EXPECT_EQ(object.QueryLockCapability(nullptr), E_POINTER);

  const SiteLockEntry* sites = nullptr;
  DWORD count = 0;
  ASSERT_EQ(object.GetAllowedSites(&sites, &count), S_OK);
  ASSERT_EQ(count, 2u);
  for (DWORD i = 0; i < count; ++i) {
    EXPECT_EQ(sites[i].rule, qvx::brixon::kSiteAllow);
    EXPECT_EQ(OleString(sites[i].scheme), OLESTR("https"));
  }
  EXPECT_EQ(OleString(sites[0].domain), OLESTR("brixbank.example"));
  EXPECT_EQ(OleString(sites[1].domain), OLESTR("brixonline.example"));
  EXPECT_EQ(object.GetAllowedSites(nullptr, &count), E_POINTER);

  BOOL expires = 7;
  FILETIME date{1, 2};
  EXPECT_EQ(object.GetLockExpiry(&expires, &date), E_NOTIMPL);
  EXPECT_EQ(expires, 0);
  EXPECT_EQ(date.dwLowDateTime | date.dwHighDateTime, 0u);
  EXPECT_EQ(object.GetLockExpiry(&expires, nullptr), E_POINTER);
}

}  // namespace
}  // namespace qvx::testing
