// Creation by ProgID through a private classes registry and the test
// in-process server.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "PlatformTestSupport.h"
#include "OuterUnknown.h"
#include "platform/com/Creation.h"
#include "server/TestServer.h"

namespace {

using namespace platform;
using qvx::testing::CLSID_TestThing;
using qvx::testing::IID_ITestThing;
using qvx::testing::ITestThing;

void SetString(HKEY root, const std::string& key, const char* name, const std::string& value) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyEx(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &k, nullptr),
            0)
      << key;
  ASSERT_EQ(RegSetValueEx(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)),
            0);
  RegCloseKey(k);
}

class CreationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string clsid = GuidToString(CLSID_TestThing);
    // What a registrar writes: versioned and version-independent ProgIDs.
    SetClasses("Qvx.Thing.1\\CLSID", clsid);
    SetClasses("Qvx.Thing\\CurVer", "Qvx.Thing.1");
    SetClasses("CLSID\\" + clsid + "\\InprocServer32", QVX_COM_TEST_SERVER);
  }
  void SetClasses(const std::string& key, const std::string& value) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateClassesKey(key.c_str(), KEY_ALL_ACCESS, &k, nullptr), 0);
    ASSERT_EQ(RegSetValueEx(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)),
              0);
    RegCloseKey(k);
  }
  static long LiveObjects() {
    void* module = ::dlopen(QVX_COM_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
      return -1;
    }
    auto live = reinterpret_cast<qvx::testing::LiveObjectsFunction>(
        ::dlsym(module, qvx::testing::kLiveObjectsName));
    ::dlclose(module);  // only drops the count NOLOAD took
    return live != nullptr ? live() : -1;
  }

  qvx::testing::PrivateDir m_dir;
  qvx::testing::ScopedEnv m_registry{"QVX_REGISTRY_ROOT", m_dir.Path().c_str()};
};

TEST_F(CreationTest, ProgIdLeadsToTheModuleAndItsObject) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"Qvx.Thing", &clsid), S_OK);  // through CurVer
  EXPECT_EQ(clsid, CLSID_TestThing);

  CComPtr<ITestThing> thing;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestThing, thing.AsOut()),
            S_OK);
  LONG value = 0;
  EXPECT_EQ(thing->GetValue(&value), S_OK);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(LiveObjects(), 1);
  thing.Release();
  EXPECT_EQ(LiveObjects(), 0);
}

TEST_F(CreationTest, AggregatedObjectDelegatesToTheOuterUnknown) {
  qvx::testing::COuter outer;
  void* thing = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TestThing, &outer, CLSCTX_INPROC_SERVER, IID_ITestThing, &thing),
            E_INVALIDARG);
  ASSERT_EQ(CoCreateInstance(CLSID_TestThing, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  ASSERT_NE(outer.inner, nullptr);
  EXPECT_NE(outer.inner, static_cast<IUnknown*>(&outer));

  EXPECT_TRUE(qvx::testing::GivesOuterIdentity(outer, IID_ITestThing));
  EXPECT_EQ(outer.references, 1u);

  EXPECT_EQ(LiveObjects(), 1);
  outer.inner->Release();  // the outer object's inner reference ends it
  EXPECT_EQ(LiveObjects(), 0);
}

TEST_F(CreationTest, RegistryGapsGiveTheWindowsErrors) {
  const std::string clsid = GuidToString(CLSID_TestThing);
  CLSID out{};
  void* object = nullptr;
  EXPECT_EQ(CLSIDFromProgID(u"Qvx.Nothing", &out), CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  const GUID other{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);

  SetClasses("Qvx.Bad.1\\CLSID", "not a guid");
  EXPECT_EQ(CLSIDFromProgID(u"Qvx.Bad.1", &out), CO_E_CLASSSTRING);

  SetClasses("CLSID\\" + clsid + "\\InprocServer32", m_dir.Path() + "/missing.so");
  EXPECT_EQ(CoCreateInstance(CLSID_TestThing, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
            HRESULT_FROM_WIN32(126));
  EXPECT_EQ(object, nullptr);

  // A per-user registration wins over the machine's, as in the merged view.
  const GUID user{0x1A5E67F9, 0xAA16, 0x4713, {0x9B, 0x8C, 0x1C, 0x74, 0xE9, 0x1A, 0x5A, 0x0D}};
  SetString(HKEY_CURRENT_USER, "Software\\Classes\\Qvx.Thing.1\\CLSID", nullptr,
            GuidToString(user));
  EXPECT_EQ(CLSIDFromProgID(u"Qvx.Thing.1", &out), S_OK);
  EXPECT_EQ(out, user);
}

}  // namespace
