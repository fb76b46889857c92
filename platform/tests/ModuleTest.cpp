// Modules as the plug-in and its host use them: loading the PC/SC library
// and its entry points, and finding the file a module was loaded from.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/Module.h"

namespace platform {
namespace {

const char kLibrary[] = "libpcsclite.so.1";

void InsideThisProgram() {}

TEST(ModuleTest, EntryPointsComeFromTheLoadedLibrary) {
  const HMODULE library = LoadLibrary(kLibrary);
  ASSERT_NE(library, nullptr);
  const FARPROC entry = GetProcAddress(library, "SCardEstablishContext");
  EXPECT_NE(entry, nullptr);

  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetProcAddress(library, "SCardNoSuchEntry"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

  // The entry's own module is the library's file, by its full name.
  HMODULE holder = nullptr;
  ASSERT_TRUE(GetModuleHandleFromAddress(reinterpret_cast<const void*>(entry), &holder));
  char path[4096];
  ASSERT_NE(GetModuleFileName(holder, path, sizeof path), 0u);
  EXPECT_EQ(path[0], '/');
  EXPECT_NE(std::strstr(path, "libpcsclite.so"), nullptr) << path;
  EXPECT_TRUE(FreeLibrary(library));
}

TEST(ModuleTest, AMissingLibraryIsNotFound) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LoadLibrary("libqvx-no-such-module.so"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(ModuleTest, TheProgramIsAModuleNamedByItsFile) {
  char program[4096];
  const DWORD length = GetModuleFileName(nullptr, program, sizeof program);
  ASSERT_NE(length, 0u);
  EXPECT_EQ(std::strlen(program), length);
  EXPECT_EQ(::access(program, X_OK), 0) << program;

  HMODULE self = nullptr;
  ASSERT_TRUE(GetModuleHandleFromAddress(reinterpret_cast<const void*>(&InsideThisProgram), &self));
  char named[4096];
  ASSERT_NE(GetModuleFileName(self, named, sizeof named), 0u);
  EXPECT_STREQ(named, program);

  // Too small a buffer takes what fits, as Windows does.
  char shortBuffer[8];
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(GetModuleFileName(nullptr, shortBuffer, sizeof shortBuffer), 7u);
  EXPECT_EQ(std::string(shortBuffer), std::string(program, 7));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
}  // namespace platform
