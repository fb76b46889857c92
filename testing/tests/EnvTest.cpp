// The private directory and the scoped variables every suite stands on:
// what they set, and that everything comes back as it was.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "PrivateDir.h"
#include "ScopedEnv.h"

namespace qvx::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kName = "QVX_TESTING_ENV_PROBE";

std::optional<std::string> Variable(const char* name) {
  const char* value = ::getenv(name);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

TEST(ScopedEnvTest, RestoresWhatWasThereBefore) {
  struct Case {
    const char* name;
    const char* before;  // nullptr: unset
    const char* during;  // nullptr: unset
  };
  const Case cases[] = {
      {"set over unset", nullptr, "value"},   {"set over set", "old", "new"},
      {"unset over set", "old", nullptr},     {"empty over set", "old", ""},
      {"unset over unset", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv outer(kName, c.before);
    {
      const ScopedEnv inner(kName, c.during);
      EXPECT_EQ(Variable(kName), c.during ? std::optional<std::string>(c.during) : std::nullopt);
    }
    EXPECT_EQ(Variable(kName), c.before ? std::optional<std::string>(c.before) : std::nullopt);
  }
}

TEST(ScopedEnvTest, ManySetsOfOneVariableRestoreTheFirstValue) {
  const ScopedEnv outer(kName, "original");
  {
    ScopedEnv env;
    env.Set(kName, "first");
    env.Set(kName, nullptr);
    env.Set(kName, std::string("third"));
    EXPECT_EQ(Variable(kName), "third");
  }
  EXPECT_EQ(Variable(kName), "original");
}

TEST(PrivateDirTest, IsFreshOwnAndGoneAfterwards) {
  std::string path;
  {
    const PrivateDir first("qvx-envtest");
    const PrivateDir second("qvx-envtest");
    path = first.Path();
    EXPECT_NE(first.Path(), second.Path());
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_TRUE(fs::is_empty(path));
    EXPECT_EQ(fs::path(path).filename().string().rfind("qvx-envtest-", 0), 0u) << path;
    // Short enough for a socket address with room for a name.
    EXPECT_LT(path.size(), 60u) << path;
    EXPECT_EQ(first / "a", path + "/a");
    EXPECT_TRUE(fs::is_directory(first.Make("a/b")));
    std::ofstream(first / "a/b/file") << "content";
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST(PrivateDirTest, AKeptDirectoryStays) {
  std::string path;
  {
    PrivateDir dir("qvx-envtest");
    path = dir.Path();
    dir.Keep();
  }
  EXPECT_TRUE(fs::is_directory(path));
  fs::remove_all(path);
}

TEST(PrivateDirTest, ALongTmpdirIsPassedOverForAShortBase) {
  const ScopedEnv tmpdir("TMPDIR", "/tmp/" + std::string(80, 'd'));
  const PrivateDir dir("qvx-envtest");
  EXPECT_EQ(dir.Path().rfind("/tmp/qvx-envtest-", 0), 0u) << dir.Path();
}

TEST(PrivateDirTest, PlatformPlacesMoveInAndBackOut) {
  const char* const names[] = {"QVX_OBJECT_DIR", "QVX_REGISTRY_ROOT", "ALLUSERSPROFILE"};
  std::optional<std::string> before[3];
  for (int i = 0; i < 3; ++i) before[i] = Variable(names[i]);
  {
    const PrivateDir dir("qvx-envtest", PrivateDir::Places::kPlatform);
    EXPECT_EQ(Variable("QVX_OBJECT_DIR"), dir / "objects");
    EXPECT_EQ(Variable("QVX_REGISTRY_ROOT"), dir / "registry");
    EXPECT_EQ(Variable("ALLUSERSPROFILE"), dir.Path());
    EXPECT_TRUE(fs::is_directory(dir / "objects"));
    EXPECT_TRUE(fs::is_directory(dir / "registry"));
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Variable(names[i]), before[i]) << names[i];
}

TEST(PrivateDirTest, ExportPointsAVariableInsideUntilItGoes) {
  const ScopedEnv outer(kName, "outside");
  {
    PrivateDir dir("qvx-envtest");
    dir.Export(kName, "sub");
    EXPECT_EQ(Variable(kName), dir / "sub");
    EXPECT_TRUE(fs::is_directory(dir / "sub"));
    dir.Export(kName);
    EXPECT_EQ(Variable(kName), dir.Path());
  }
  EXPECT_EQ(Variable(kName), "outside");
}

}  // namespace
}  // namespace qvx::testing
