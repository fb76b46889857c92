// Test fixture for the command library: owns a scripted PC/SC and a private
// temporary directory for the log, the registry and the named objects.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "FakeSCard.h"
#include "PrivateDir.h"
#include "command/Quorvex2.h"
#include "contract/ControlCodes.h"
#include "contract/ReaderName.h"

namespace qvx::testing {

namespace contract = qvx::contract;
using qvx::contract::ControlIndex;

constexpr const char* kReaderName = "Meridel Quorvex2_Reader 0";

inline std::string CodeOf(qvx::contract::ControlIndex index) {
  return qvx::contract::ControlCode(index).name;
}

// Names parameterised cases after their `name` field.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

// Result text items in order; the key is the text before the first '='.
inline std::vector<std::pair<std::string, std::string>> ResultItems(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> items;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t equals = line.find('=');
    items.emplace_back(line.substr(0, equals),
                       equals == std::string::npos ? "" : line.substr(equals + 1));
  }
  return items;
}

inline std::string Value(const std::string& text, const std::string& key) {
  for (const auto& [itemKey, value] : ResultItems(text)) {
    if (itemKey == key) return value;
  }
  ADD_FAILURE() << "no key " << key << " in\n" << text;
  return {};
}

inline int StatusOf(const std::string& text) { return std::stoi(Value(text, "Status")); }

class CommandFixture : public ::testing::Test {
 protected:
  void SetUp() override { fake.readers = {kReaderName}; }

  void TearDown() override {
    // Whatever a command did, nothing of it may outlive the command object.
    EXPECT_EQ(fake.OpenCards(), 0) << "reader left connected";
    EXPECT_EQ(fake.OutstandingAllocations(), 0) << "reader list not freed";
    EXPECT_EQ(fake.OpenContexts(), 0) << "context not released";
  }

  // Runs one command on a fresh command object, as the service does.
  std::string Run(const std::function<std::string(qvx::CQuorvex2&)>& command) {
    qvx::CQuorvex2 quorvex2(fake);
    return command(quorvex2);
  }

  void QueueAnswer(qvx::contract::ControlIndex index, std::vector<BYTE> data) {
    fake.QueueControl(qvx::contract::ControlCode(index).pcscCode,
                      {SCARD_S_SUCCESS, std::move(data)});
  }
  void QueueLastError(std::vector<BYTE> record) {
    QueueAnswer(qvx::contract::ControlIndex::GetLastError, std::move(record));
  }

  std::vector<FakeSCard::Call> Requests(qvx::contract::ControlIndex index) const {
    return fake.ControlCalls(qvx::contract::ControlCode(index).pcscCode);
  }
  std::size_t ConnectCount() const { return fake.CallsTo("Connect").size(); }

  // Where the log goes without a registry setting: %ALLUSERSPROFILE%/BRIXWSSVR.
  std::string LogPath() const { return m_dirs / "BRIXWSSVR/Brixwssvr_Log.txt"; }
  // The log's lines with the 130-column continuations joined again.
  std::vector<std::string> LogLines() const {
    std::ifstream file(LogPath());
    std::vector<std::string> lines;
    std::string physical;
    bool continued = false;
    std::size_t indent = 0;
    while (std::getline(file, physical)) {
      if (continued) {
        lines.back() += physical.substr(std::min(indent, physical.size()));
      } else {
        indent = physical.find_first_not_of(' ');
        if (indent == std::string::npos) indent = physical.size();
        lines.push_back(physical);
      }
      continued =
          lines.back().size() >= 2 && lines.back().compare(lines.back().size() - 2, 2, " \\") == 0;
      if (continued) lines.back().resize(lines.back().size() - 2);
    }
    return lines;
  }
  std::string ReadLog() const {
    std::string text;
    for (const std::string& line : LogLines()) text += line + "\n";
    return text;
  }
  bool LogHasLineEndingWith(const std::string& text) const {
    for (const std::string& line : LogLines()) {
      if (line.size() >= text.size() &&
          line.compare(line.size() - text.size(), text.size(), text) == 0) {
        return true;
      }
    }
    return false;
  }
  // Index of the first log line containing `text`, or -1.
  int LogLineWith(const std::string& text) const {
    const auto lines = LogLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find(text) != std::string::npos) return static_cast<int>(i);
    }
    return -1;
  }
  std::string EventName() const { return qvx::contract::CancelEventName(kReaderName); }

  FakeSCard fake;

 private:
  qvx::testing::PrivateDir m_dirs{"qvxcmd-test", qvx::testing::PrivateDir::Places::kPlatform};
};

// Bytes of an ASCII text, for answers and expected requests.
inline std::vector<BYTE> Ascii(const std::string& text) {
  return std::vector<BYTE>(text.begin(), text.end());
}
inline std::vector<BYTE> Concat(std::initializer_list<std::vector<BYTE>> parts) {
  std::vector<BYTE> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace qvx::testing
