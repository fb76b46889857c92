// BRIXON.DLL as Windows sees it: registered and unregistered by regsvr32,
// created by its ProgID, called late-bound as script calls it. The module is
// a copy in a private folder, and every case runs in a Wine prefix of its
// own (scripts/wine-run --own-prefix): registration changes what the whole
// machine sees.
#include <windows.h>
//
#include <objsafe.h>
#include <ocidl.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "PrivateDir.h"
#include "brixon/IBRIXON.h"
#include "platform/com/GuidText.h"

namespace {

using platform::GuidToString;
using qvx::brixon::CLSID_BRIXON;
using qvx::brixon::IID_IBRIXON;
using qvx::brixon::LIBID_BRIXONLib;

const std::string kClassKey = "CLSID\\" + GuidToString(CLSID_BRIXON);
const std::string kLibraryKey = "TypeLib\\" + GuidToString(LIBID_BRIXONLib);
const std::string kInterfaceKey = "Interface\\" + GuidToString(IID_IBRIXON);
const std::string kCategories = kClassKey + "\\Implemented Categories\\";
const std::string kSafeForScripting = "{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
const std::string kSafeForInitializing = "{7DD95802-9882-11CF-9FA9-00AA006C42C4}";

// regsvr32's exit code.
DWORD Regsvr32(const std::string& arguments) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "regsvr32.exe " + arguments;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return ~0u;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = ~0u;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

bool ClassesKeyExists(const std::string& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(opened);
  return true;
}

// A REG_SZ value under HKEY_CLASSES_ROOT, "<missing>" when it is not there.
std::string ClassesText(const std::string& key, const char* value = nullptr) {
  char text[1024];
  DWORD size = sizeof text;
  if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS) {
    return "<missing>";
  }
  return text;
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    std::filesystem::copy_file(QVX_BRIXON_DLL, m_module);
    m_quoted = "\"" + m_module + "\"";
  }
  void TearDown() override {
    Regsvr32("/u /s " + m_quoted);
    CoUninitialize();
  }

  void Register() { ASSERT_EQ(Regsvr32("/s " + m_quoted), 0u); }

  qvx::testing::PrivateDir m_dir{"qvx-module"};
  const std::string m_module =
      std::filesystem::absolute(m_dir / "BRIXON.dll").lexically_normal().make_preferred().string();
  std::string m_quoted;
};

TEST_F(ModuleTest, Regsvr32WritesTheClassesAndRegistersTheTypeLibrary) {
  // Left by an older registration: the class key is rewritten from scratch.
  HKEY stale = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, (kClassKey + "\\Stale").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &stale, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(stale);
  Register();

  const std::string clsid = GuidToString(CLSID_BRIXON);
  const std::string libid = GuidToString(LIBID_BRIXONLib);
  struct Expected {
    std::string key;
    const char* value;
    std::string text;
  };
  const Expected expected[] = {
      {"BRIXON.Application.1", nullptr, "BRIXON Class"},
      {"BRIXON.Application.1\\CLSID", nullptr, clsid},
      {"BRIXON.Application", nullptr, "BRIXON Class"},
      {"BRIXON.Application\\CLSID", nullptr, clsid},
      {"BRIXON.Application\\CurVer", nullptr, "BRIXON.Application.1"},
      {kClassKey, nullptr, "BRIXON Class"},
      {kClassKey + "\\ProgID", nullptr, "BRIXON.Application.1"},
      {kClassKey + "\\VersionIndependentProgID", nullptr, "BRIXON.Application"},
      {kClassKey + "\\InprocServer32", nullptr, m_module},
      {kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {kClassKey + "\\TypeLib", nullptr, libid},
      {kLibraryKey + "\\1.0", nullptr, "BRIXON 1.0 Type Library"},
      {kLibraryKey + "\\1.0\\0\\win64", nullptr, m_module},
      {kInterfaceKey + "\\TypeLib", nullptr, libid},
  };
  for (const Expected& entry : expected) {
    EXPECT_EQ(ClassesText(entry.key, entry.value), entry.text) << entry.key;
  }
  EXPECT_TRUE(ClassesKeyExists(kClassKey + "\\Programmable"));
  EXPECT_TRUE(ClassesKeyExists(kCategories + kSafeForScripting));
  EXPECT_FALSE(ClassesKeyExists(kCategories + kSafeForInitializing)) << "scripting only";
  EXPECT_FALSE(ClassesKeyExists(kClassKey + "\\Stale"));
}

TEST_F(ModuleTest, CreatedByProgIdItAnswersScriptThroughItsOwnDispatch) {
  Register();
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"BRIXON.Application", &clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, CLSID_BRIXON));
  IDispatch* object = nullptr;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             reinterpret_cast<void**>(&object)),
            S_OK);

  for (const IID& iid : {IID_IBRIXON, IID_IDispatch, IID_IObjectSafety, IID_IObjectWithSite}) {
    IUnknown* answered = nullptr;
    EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&answered)), S_OK)
        << GuidToString(iid);
    if (answered != nullptr) answered->Release();
  }

  OLECHAR name[] = L"CheckBRIXON";
  LPOLESTR names[] = {name};
  DISPID id = DISPID_UNKNOWN;
  ASSERT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 2);
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                           nullptr, nullptr),
            S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 1);

  // The member table's checks, before any member runs.
  OLECHAR unknown[] = L"NoSuchMember";
  LPOLESTR unknownNames[] = {unknown};
  EXPECT_EQ(object->GetIDsOfNames(IID_NULL, unknownNames, 1, LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(object->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result,
                           nullptr, nullptr),
            DISP_E_BADPARAMCOUNT)
      << "CheckCard without its language";
  EXPECT_EQ(object->Invoke(99, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result,
                           nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);

  UINT count = 0;
  EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(object->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
  ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
  ASSERT_NE(info, nullptr);
  BSTR typeName = nullptr;
  EXPECT_EQ(info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr, nullptr, nullptr), S_OK);
  EXPECT_STREQ(typeName, L"IBRIXON");
  SysFreeString(typeName);
  // The dual interface's vtable view holds its own members, after IDispatch's.
  HREFTYPE reference = 0;
  ITypeInfo* vtable = nullptr;
  ASSERT_EQ(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), S_OK);
  ASSERT_EQ(info->GetRefTypeInfo(reference, &vtable), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IBRIXON));
  EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attributes->cFuncs, 8);
  vtable->ReleaseTypeAttr(attributes);
  vtable->Release();
  info->Release();
  object->Release();
}

TEST_F(ModuleTest, Regsvr32UnregisterLeavesNothingButTheSharedClsidKey) {
  Register();
  ASSERT_EQ(Regsvr32("/u /s " + m_quoted), 0u);
  for (const std::string& gone :
       {std::string("BRIXON.Application"), std::string("BRIXON.Application.1"), kClassKey,
        kLibraryKey, kInterfaceKey}) {
    EXPECT_FALSE(ClassesKeyExists(gone)) << gone;
  }
  EXPECT_TRUE(ClassesKeyExists("CLSID")) << "shared by every class";
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(L"BRIXON.Application", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(Regsvr32("/u /s " + m_quoted), 0u) << "nothing left to remove";
}

}  // namespace
