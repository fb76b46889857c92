// Test support for the plug-in's command library: a private directory for
// the process log, the registry and the named objects (set before the log
// is first used), and a scripted reader access.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "PrivateDir.h"
#include "brixon/Error.h"
#include "brixon/Log.h"
#include "brixon/Quorvex2.h"
#include "brixon/ReaderAccess.h"

namespace qvx::testing {

using qvx::Bytes;
using qvx::contract::ControlIndex;

class PluginEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    s_dir = std::make_unique<qvx::testing::PrivateDir>("brixon-test");
    s_dir->Export("QVX_OBJECT_DIR", "objects");
    s_dir->Export("QVX_REGISTRY_ROOT", "registry");
    for (const char* name : {"TMPDIR", "TEMP", "TMP"}) s_dir->Export(name, "temp");
  }
  void TearDown() override { s_dir.reset(); }
  static std::filesystem::path Dir() { return s_dir->Path(); }

 private:
  inline static std::unique_ptr<qvx::testing::PrivateDir> s_dir;
};

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// What the process log gained since the mark was taken.
class LogMark {
 public:
  LogMark() : m_size(Text().size()) {}
  std::string Since() const { return Text().substr(m_size); }
  static std::string Text() { return ReadText(qvx::brixon::CLog::Instance().GetFileName()); }

 private:
  std::size_t m_size;
};

// A reader access that answers from a script: per request index either the
// answer bytes or a CError to raise.
class FakeReader : public qvx::brixon::IReaderAccess {
 public:
  struct Script {
    std::map<ControlIndex, Bytes> answers;
    std::optional<qvx::brixon::CError> failure;  // raised by every Execute
    bool cancelFails = false;
    std::vector<std::pair<ControlIndex, Bytes>> requests;
    int cancels = 0;
  };
  explicit FakeReader(Script& script) : m_script(script) {}

  Bytes Execute(ControlIndex index, const Bytes& request) override {
    m_script.requests.emplace_back(index, request);
    if (m_script.failure) throw *m_script.failure;
    return m_script.answers[index];
  }
  void Cancel() override {
    ++m_script.cancels;
    if (m_script.cancelFails) throw qvx::brixon::CError("CPCSC::Cancel()", "cancel failed");
  }

 private:
  Script& m_script;
};

inline Bytes Ascii(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A command object over the scripted reader access, counting the reader
// accesses it makes.
class PluginCommand : public ::testing::Test {
 protected:
  qvx::brixon::CQuorvex2 Make() {
    return qvx::brixon::CQuorvex2([this] {
      ++made;
      return std::make_unique<FakeReader>(script);
    });
  }
  FakeReader::Script script;
  int made = 0;
};

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

}  // namespace qvx::testing
