// The module's exports as the system's COM calls them, in a private
// registry: the registration round trip and the unload answer.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <string>

#include "PluginTestSupport.h"
#include "ScopedEnv.h"
#include "brixon/BrixonModule.h"
#include "brixon/IBRIXON.h"
#include "browser/Script.h"
#include "platform/com/Creation.h"
#include "platform/com/Hosting.h"

namespace {

using namespace platform;
using namespace qvx::brixon;

// The module itself, loaded as CoCreateInstance loads it.
class BrixonModule : public ::testing::Test {
 protected:
  void SetUp() override {
    // A pcsc-lite socket that does not exist: the module's own reader
    // access must never reach the machine's pcscd.
    m_noPcscd.Set("PCSCLITE_CSOCK_NAME",
                  (qvx::testing::PluginEnvironment::Dir() / "no-pcscd.comm").string());
    m_module = ::dlopen(QVX_BRIXON_MODULE, RTLD_NOW);
    ASSERT_NE(m_module, nullptr) << ::dlerror();
  }
  template <typename Function>
  Function Export(const char* name) {
    return reinterpret_cast<Function>(::dlsym(m_module, name));
  }
  qvx::testing::ScopedEnv m_noPcscd;
  void* m_module = nullptr;
};

std::string Classes(const std::string& key, const char* value = nullptr) {
  std::string text;
  return RegQueryClassesString(key.c_str(), value, &text) ? text : "<missing>";
}

TEST_F(BrixonModule, RegistrationRoundTripInAPrivateRegistry) {
  auto registerServer = Export<HRESULT (*)()>("DllRegisterServer");
  auto unregisterServer = Export<HRESULT (*)()>("DllUnregisterServer");
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);
  const std::string clsid = "CLSID\\" + GuidToString(CLSID_BRIXON);
  // Left by an older registration: the class key is rewritten from scratch.
  HKEY stale = nullptr;
  ASSERT_EQ(RegCreateClassesKey((clsid + "\\Stale").c_str(), KEY_ALL_ACCESS, &stale, nullptr), 0);
  RegCloseKey(stale);

  ASSERT_EQ(registerServer(), S_OK);
  char module[PATH_MAX];
  ASSERT_NE(::realpath(QVX_BRIXON_MODULE, module), nullptr);
  const std::string libid = GuidToString(LIBID_BRIXONLib);
  const std::pair<std::string, std::string> expected[] = {
      {Classes("BRIXON.Application"), "BRIXON Class"},
      {Classes("BRIXON.Application\\CurVer"), "BRIXON.Application.1"},
      {Classes("BRIXON.Application.1\\CLSID"), GuidToString(CLSID_BRIXON)},
      {Classes(clsid), "BRIXON Class"},
      {Classes(clsid + "\\ProgID"), "BRIXON.Application.1"},
      {Classes(clsid + "\\VersionIndependentProgID"), "BRIXON.Application"},
      {Classes(clsid + "\\InprocServer32"), module},
      {Classes(clsid + "\\InprocServer32", "ThreadingModel"), "Apartment"},
      {Classes(clsid + "\\TypeLib"), libid},
      {Classes("TypeLib\\" + libid + "\\1.0"), "BRIXON 1.0 Type Library"},
      {Classes("Interface\\" + GuidToString(IID_IBRIXON) + "\\TypeLib"), libid},
  };
  for (const auto& [found, wanted] : expected) EXPECT_EQ(found, wanted);
  HKEY key = nullptr;
  EXPECT_EQ(
      RegOpenClassesKey(
          (clsid + "\\Implemented Categories\\" + GuidToString(CATID_SafeForScripting)).c_str(),
          KEY_READ, &key),
      0);
  RegCloseKey(key);
  EXPECT_NE(RegOpenClassesKey((clsid + "\\Stale").c_str(), KEY_READ, &key), 0);

  // Registered, the ProgID leads to a working object.
  CLSID found{};
  ASSERT_EQ(CLSIDFromProgID(u"BRIXON.Application", &found), S_OK);
  CComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.AsOut()),
            S_OK);
  VARIANT result;
  ASSERT_EQ(qvx::browser::CallByName(object, "CheckBRIXON", {}, &result), S_OK);
  EXPECT_EQ(qvx::browser::ScriptText(result), "1");
  object.Release();

  ASSERT_EQ(unregisterServer(), S_OK);
  for (const std::string& gone :
       {std::string("BRIXON.Application"), std::string("BRIXON.Application.1"), clsid,
        "TypeLib\\" + libid, "Interface\\" + GuidToString(IID_IBRIXON)}) {
    EXPECT_NE(RegOpenClassesKey(gone.c_str(), KEY_READ, &key), 0) << gone;
  }
  EXPECT_EQ(RegOpenClassesKey("CLSID", KEY_READ, &key), 0) << "shared by every class";
  RegCloseKey(key);
  EXPECT_EQ(CLSIDFromProgID(u"BRIXON.Application", &found), CO_E_CLASSSTRING);
  EXPECT_EQ(unregisterServer(), S_OK) << "nothing left to remove";
}

TEST_F(BrixonModule, CanUnloadOnlyWithoutObjectsAndLocks) {
  auto getClassObject = Export<DllGetClassObjectFunction>("DllGetClassObject");
  auto canUnload = Export<HRESULT (*)()>("DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnload, nullptr);
  CComPtr<IClassFactory> factory;
  EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, factory.AsOut()),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(getClassObject(CLSID_BRIXON, IID_IClassFactory, factory.AsOut()), S_OK);
  EXPECT_EQ(canUnload(), S_OK) << "a factory reference is no lock";

  ASSERT_EQ(factory->LockServer(1), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);
  CComPtr<IUnknown> first;
  CComPtr<IUnknown> second;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, first.AsOut()), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, second.AsOut()), S_OK);
  ASSERT_EQ(factory->LockServer(0), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);
  void* none = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &none), E_NOINTERFACE);
  first.Release();
  EXPECT_EQ(canUnload(), S_FALSE);
  second.Release();
  EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
