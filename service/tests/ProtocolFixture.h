// Test fixture for the command protocol: a private temporary directory for
// the log, the registry and the named objects; one scripted reader per
// command object (the workers build them concurrently); fake connections that
// record what the workers send.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FakeSCard.h"
#include "PrivateDir.h"
#include "command/Quorvex2.h"
#include "protocol/Connection.h"
#include "protocol/DispatchCommand.h"

namespace qvx::testing {

constexpr const char* kProtocolReaderName = "Meridel Quorvex2_Reader 0";
constexpr std::chrono::seconds kPatience{10};

class FakeConnection : public qvx::protocol::IConnection {
 public:
  struct Event {
    bool closed = false;  // Close, else SendText
    std::string text;     // reply or reason
    std::uint16_t code = 0;
  };

  void SendText(std::string text) override { Record({false, std::move(text), 0}); }
  void Close(std::uint16_t code, std::string reason) override {
    Record({true, std::move(reason), code});
  }

  // The events once there are at least `count`, or what there is after the
  // test's patience ran out.
  std::vector<Event> WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, kPatience, [&] { return m_events.size() >= count; });
    return m_events;
  }
  std::vector<Event> Events() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
  }

 private:
  void Record(Event event) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_events.push_back(std::move(event));
    }
    m_changed.notify_all();
  }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Event> m_events;
};

// Holds every reader Connect until opened; counts who is waiting.
class ConnectGate {
 public:
  void Enter() {
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_entered;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return m_open; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_open = true;
    }
    m_changed.notify_all();
  }
  bool WaitEntered(int count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, kPatience, [&] { return m_entered >= count; });
  }
  int Entered() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entered;
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_entered = 0;
  bool m_open = false;
};

// Opens the gate when a test body ends early, before the workers declared
// ahead of it are joined.
class GateOpener {
 public:
  explicit GateOpener(ConnectGate& gate) : m_gate(gate) {}
  ~GateOpener() { m_gate.Open(); }
  GateOpener(const GateOpener&) = delete;
  GateOpener& operator=(const GateOpener&) = delete;

 private:
  ConnectGate& m_gate;
};

class ProtocolFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    gate.Open();  // a failed test must not leave a worker stuck in a command
  }

  // Every command object gets its own reader, since the fake is not shared
  // between threads.
  qvx::protocol::CommandFactory Factory() {
    return [this] {
      std::lock_guard<std::mutex> lock(m_fakesMutex);
      FakeSCard& fake = m_fakes.emplace_back();
      if (!withoutReader) fake.readers = {kProtocolReaderName};
      if (holdConnects) {
        fake.onCall = [this](const FakeSCard::Call& call) {
          if (call.function == "Connect") gate.Enter();
        };
      }
      return std::make_unique<qvx::CQuorvex2>(fake);
    };
  }

  // Readers handed out so far; read only once no command is running.
  const std::deque<FakeSCard>& Fakes() const { return m_fakes; }

  // The log's lines; the payloads of these tests are short enough never to
  // wrap at 130 columns.
  std::vector<std::string> LogLines() const {
    std::ifstream file(m_dirs / "BRIXWSSVR/Brixwssvr_Log.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }

  bool holdConnects = false;
  bool withoutReader = false;
  ConnectGate gate;

 private:
  qvx::testing::PrivateDir m_dirs{"qvxproto-test", qvx::testing::PrivateDir::Places::kPlatform};
  std::mutex m_fakesMutex;
  std::deque<FakeSCard> m_fakes;
};

// Names parameterised cases after their `name` field.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace qvx::testing
