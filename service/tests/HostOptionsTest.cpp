#include "host/ServiceOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvx::host {
namespace {

ServiceAction Parse(const std::vector<const char*>& args) {
  std::vector<const char*> argv{"brixwssvr"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back(nullptr);
  return ParseServiceOptions(static_cast<int>(argv.size() - 1), argv.data());
}

TEST(HostOptionsTest, SingleArgumentSkipsItsFirstCharacter) {
  const struct {
    const char* arg;
    ServiceAction expected;
  } cases[] = {
      {"-version", ServiceAction::PrintVersion},
      {"/version", ServiceAction::PrintVersion},
      {"xversion", ServiceAction::PrintVersion},
      {"-install", ServiceAction::Install},
      {"/install", ServiceAction::Install},
      {"xinstall", ServiceAction::Install},
      {"-uninstall", ServiceAction::Uninstall},
      {"/uninstall", ServiceAction::Uninstall},
      {"-makekey", ServiceAction::MakeKey},
      {"/removekey", ServiceAction::RemoveKey},
      {"-makekey ", ServiceAction::RunService},
      {"-MakeKey", ServiceAction::RunService},
      // The first character goes whatever it is, so bare words lose a letter.
      {"install", ServiceAction::RunService},
      {"version", ServiceAction::RunService},
      {"uninstall", ServiceAction::RunService},
      {"-", ServiceAction::RunService},
      {"", ServiceAction::RunService},
      {"-VERSION", ServiceAction::RunService},
      {"-Install", ServiceAction::RunService},
      {"-install ", ServiceAction::RunService},
      {"--install", ServiceAction::RunService},
      {"-versionx", ServiceAction::RunService},
      {"-instal", ServiceAction::RunService},
      {"-help", ServiceAction::RunService},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Parse({c.arg}), c.expected) << "argument \"" << c.arg << "\"";
  }
}

TEST(HostOptionsTest, OnlyExactlyOneArgumentSelectsAnOption) {
  EXPECT_EQ(Parse({}), ServiceAction::RunService);
  EXPECT_EQ(Parse({"-version", "-version"}), ServiceAction::RunService);
  EXPECT_EQ(Parse({"-install", "extra"}), ServiceAction::RunService);
  EXPECT_EQ(Parse({"x", "-uninstall"}), ServiceAction::RunService);
}

TEST(HostOptionsTest, NoArgumentVectorRunsTheService) {
  EXPECT_EQ(ParseServiceOptions(0, nullptr), ServiceAction::RunService);
  const char* argv[] = {"brixwssvr", nullptr, nullptr};
  EXPECT_EQ(ParseServiceOptions(2, argv), ServiceAction::RunService);
}

TEST(HostOptionsTest, Texts) {
  EXPECT_EQ(VersionText(), "Version: 02.20 / Release: 18-AUG-2023");
  EXPECT_EQ(UsageLine("/opt/qvx/brixwssvr"),
            "Usage: /opt/qvx/brixwssvr [-version | -install | -uninstall]");
  EXPECT_EQ(FailureLine("OpenSCManager failed w/err 0x00000005"),
            "Failed! [OpenSCManager failed w/err 0x00000005]");
}

}  // namespace
}  // namespace qvx::host
