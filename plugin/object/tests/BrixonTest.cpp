// The BRIXON object as script and the browser see it: late-bound calls by
// name with the table's parameter types, script safety per page, and
// aggregation, with BRIXONLib registered from this program (it carries the
// type library the module carries).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PluginTestSupport.h"
#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "brixon/SiteLock.h"
#include "browser/Page.h"
#include "browser/Script.h"
#include "OuterUnknown.h"
#include "platform/Module.h"
#include "platform/com/Creation.h"

namespace {

using namespace platform;
using namespace qvx::brixon;
using qvx::Bytes;
using qvx::browser::ScriptArgument;
using qvx::contract::ControlIndex;
using qvx::testing::FakeReader;

::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new qvx::testing::PluginEnvironment);

// This program, which the registration names as the module.
std::string ThisProgram() {
  char path[1024] = {};
  const DWORD length = GetModuleFileName(nullptr, path, sizeof path);
  return std::string(path, length < sizeof path ? length : 0);
}

const Bytes kVersions = {'0', '1', '.', '2', '0', 0, ' ', '0', '1', '.', '0', '3', 0};

// An object over a scripted reader access, with BRIXONLib registered.
class BrixonObject : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegisterServer(ThisProgram()), S_OK);
    m_factory.Attach(CreateClassFactory([this] { return std::make_unique<FakeReader>(m_script); }));
    ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IDispatch, m_object.AsOut()), S_OK);
  }
  void TearDown() override { UnregisterServer(); }

  HRESULT Call(const std::string& member, const std::vector<ScriptArgument>& arguments,
               std::string* text) {
    VARIANT result;
    const HRESULT hr = qvx::browser::CallByName(m_object, member, arguments, &result);
    if (SUCCEEDED(hr)) {
      *text = qvx::browser::ScriptText(result);
      VariantClear(&result);
    }
    return hr;
  }

  FakeReader::Script m_script;
  CComPtr<IClassFactory> m_factory;
  CComPtr<IDispatch> m_object;
};

struct MemberCase {
  const char* member;
  DISPID id;
  std::vector<ScriptArgument> arguments;
  std::map<ControlIndex, Bytes> answers;
  std::vector<std::pair<ControlIndex, Bytes>> requests;  // what reached the reader
  std::string result;
};

TEST_F(BrixonObject, EveryMemberByNameWithTheTablesParameterTypes) {
  const std::string ok = "Status=0\nStatusDescription=Success";
  const MemberCase cases[] = {
      {"CheckConnection",
       1,
       {},
       {{ControlIndex::CheckDevice, kVersions}},
       {{ControlIndex::CheckDevice, {}}},
       ok + "\nDevice_Version=01.20\nDriver_Version=01.03\nBRIXON_Version=01.06"},
      {"CheckBRIXON", 2, {}, {}, {}, "1"},
      {"checkcard",
       3,
       {{"nl"}},
       {{ControlIndex::CheckCard, {2, 0x54, 0x12, 1, 0x07}}},
       {{ControlIndex::CheckCard, {'n', 'l'}}},
       ok + "\nCardId_PAN=5412\nCardId_PSN=07"},
      // A null string is the empty one: the language defaults to "00".
      {"CheckCard",
       3,
       {{"", true}},
       {{ControlIndex::CheckCard, {2, 0x54, 0x12, 1, 0x07}}},
       {{ControlIndex::CheckCard, {'0', '0'}}},
       ok + "\nCardId_PAN=5412\nCardId_PSN=07"},
      {"GetResponse",
       4,
       {{"0102CCDD"}, {"", true}},
       {{ControlIndex::GetResponse, {0xAB}}},
       {{ControlIndex::GetResponse, {}}},
       ok + "\nResponse=AB"},
      {"GetMode1Response",
       5,
       {{"12345678"}, {"", true}, {"", true}},
       {{ControlIndex::GetMode1Response, {0x01}}},
       {{ControlIndex::GetMode1Response, {}}},
       ok + "\nResponse=01"},
      {"GetMode2Response",
       6,
       {},
       {{ControlIndex::GetMode2Response, {0xFF, 0x00}}},
       {{ControlIndex::GetMode2Response, {}}},
       ok + "\nResponse=FF00"},
      // Script's text "7" becomes the 16-bit message number.
      {"DisplayResult",
       7,
       {{"7"}, {"", true}, {"nl"}},
       {},
       {{ControlIndex::DisplayResult, {0x07, 'n', 'l'}}},
       ok},
      {"Cancel", 8, {}, {}, {}, ""},
  };
  for (const MemberCase& c : cases) {
    SCOPED_TRACE(c.member);
    m_script = FakeReader::Script{};
    m_script.answers = c.answers;
    OleString name = qvx::browser::Utf8ToUtf16(c.member);
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, c.id);
    std::string text;
    ASSERT_EQ(Call(c.member, c.arguments, &text), S_OK);
    EXPECT_EQ(text, c.result);
    ASSERT_EQ(m_script.requests.size(), c.requests.size());
    for (std::size_t i = 0; i < c.requests.size(); ++i) {
      EXPECT_EQ(m_script.requests[i].first, c.requests[i].first);
      // Only the requests whose bytes the row names are compared.
      if (!c.requests[i].second.empty()) {
        EXPECT_EQ(m_script.requests[i].second, c.requests[i].second);
      }
    }
    EXPECT_EQ(m_script.cancels, std::string(c.member) == "Cancel" ? 1 : 0);
  }
}

TEST_F(BrixonObject, LateBoundCallsNeedTheRegisteredTypeLibraryEarlyBoundOnesDoNot) {
  ASSERT_EQ(UnregisterServer(), S_OK);
  std::string text;
  EXPECT_EQ(Call("CheckBRIXON", {}, &text), TYPE_E_LIBNOTREGISTERED);
  CComPtr<IBRIXON> brixon;
  ASSERT_EQ(m_object->QueryInterface(IID_IBRIXON, brixon.AsOut()), S_OK);
  LONG value = 0;
  EXPECT_EQ(brixon->get_CheckBRIXON(&value), S_OK);
  EXPECT_EQ(value, 1);
  CBstr result;
  EXPECT_EQ(brixon->DisplayResult(256, nullptr, nullptr, &result), S_OK);
  EXPECT_EQ(BstrToAnsi(result), "Status=12\nStatusDescription=Input error");
  EXPECT_EQ(brixon->CheckConnection(nullptr), E_POINTER);
}

TEST_F(BrixonObject, ScriptSafetyOnlyForTheBanksHttpsPages) {
  struct Case {
    const char* url;
    HRESULT set;
    DWORD enabled;
  };
  const Case cases[] = {
      {"https://www.brixbank.example/login", S_OK, INTERFACESAFE_FOR_UNTRUSTED_CALLER},
      {"http://www.brixbank.example/", E_FAIL, 0},
      {"https://www.brixbank.example.evil.example/", E_FAIL, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    CComPtr<IUnknown> object;
    ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IUnknown, object.AsOut()), S_OK);
    CComPtr<IObjectWithSite> sited;
    ASSERT_EQ(object->QueryInterface(IID_IObjectWithSite, sited.AsOut()), S_OK);
    CComPtr<IUnknown> page;
    page.Attach(qvx::browser::CPage::Create(c.url, URLZONE_INTERNET));
    ASSERT_EQ(sited->SetSite(page), S_OK);
    CComPtr<IObjectSafety> safety;
    ASSERT_EQ(object->QueryInterface(IID_IObjectSafety, safety.AsOut()), S_OK);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                INTERFACESAFE_FOR_UNTRUSTED_CALLER),
              c.set);
    DWORD supported = 0;
    DWORD enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, c.enabled);
    CComPtr<IUnknown> site;
    EXPECT_EQ(sited->GetSite(IID_IUnknown, site.AsOut()), S_OK);
    EXPECT_EQ(site.Get(), page.Get());
    sited->SetSite(nullptr);
    EXPECT_EQ(sited->GetSite(IID_IUnknown, site.AsOut()), E_FAIL);
  }
}

TEST_F(BrixonObject, AggregatedTheOuterObjectOwnsIdentityAndCount) {
  const long before = ModuleLockCount();
  qvx::testing::COuter outer;
  void* refused = nullptr;
  EXPECT_EQ(m_factory->CreateInstance(&outer, IID_IDispatch, &refused), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(m_factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  EXPECT_EQ(ModuleLockCount(), before + 1);
  for (const IID& iid : {IID_IBRIXON, IID_IDispatch, IID_IObjectSafety, IID_IObjectSafetySiteLock,
                         IID_IObjectWithSite}) {
    EXPECT_TRUE(qvx::testing::GivesOuterIdentity(outer, iid));
  }
  EXPECT_EQ(outer.references, 1u);
  outer.inner->Release();
  EXPECT_EQ(ModuleLockCount(), before);
}

}  // namespace
