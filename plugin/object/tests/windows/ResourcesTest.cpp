// What BRIXON.DLL carries besides its code, read as Explorer and the loader
// read it: version, name, manifest and the compiled type library.
#include <windows.h>
//
#include <gtest/gtest.h>

#include <string>

namespace {

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = LoadLibraryExA(QVX_BRIXON_DLL, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m_module, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (m_module != nullptr) FreeLibrary(m_module);
  }

  // The bytes of one resource, empty when it is not there.
  std::string Resource(LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceA(m_module, name, type);
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(m_module, found);
    const char* bytes =
        loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes != nullptr ? std::string(bytes, SizeofResource(m_module, found)) : std::string();
  }

  HMODULE m_module = nullptr;
};

TEST_F(ResourcesTest, VersionZeroOneZeroSixUnderTheModulesNames) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(QVX_BRIXON_DLL, &ignored);
  ASSERT_NE(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(QVX_BRIXON_DLL, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 0));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(6, 0));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 0));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(6, 0));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  const std::pair<const char*, const char*> strings[] = {
      {"FileVersion", "0, 1, 0, 6"},
      {"ProductVersion", "0, 1, 0, 6"},
      {"OriginalFilename", "BRIXON.DLL"},
      {"InternalName", "BRIXON"},
  };
  for (const auto& [name, wanted] : strings) {
    char* text = nullptr;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    ASSERT_TRUE(
        VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
        << name;
    EXPECT_STREQ(text, wanted) << name;
  }
}

TEST_F(ResourcesTest, NameManifestAndTypeLibrary) {
  char name[32] = {};
  EXPECT_EQ(LoadStringA(m_module, 100, name, sizeof name), 6);
  EXPECT_STREQ(name, "BRIXON");

  // A DLL's own manifest is resource 2.
  const std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(2));
  EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
      << manifest;
  EXPECT_TRUE(Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1)).empty()) << "not a program's";

  // widl's output starts with the signature of a type library.
  EXPECT_EQ(Resource("TYPELIB", MAKEINTRESOURCEA(1)).substr(0, 4), "MSFT");
}

}  // namespace
