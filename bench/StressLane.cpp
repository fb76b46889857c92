#include "StressLane.h"

#include <algorithm>
#include <cstdio>

#include "device/Responses.h"

namespace qvx::bench {

namespace {

// The default card's key: 00 01 02 ... 0F.
qvx::sim::MacKey DefaultKey() {
  qvx::sim::MacKey key{};
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i);
  return key;
}

// A result text on one line, its items joined by " | ".
std::string OneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at))
    text.replace(at, 1, " | ");
  return text;
}

// The value of "Key=" in a result text, empty when it is missing.
std::string ValueOf(const std::string& result, const std::string& key) {
  const std::string marker = "\n" + key + "=";
  const std::size_t at = result.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t start = at + marker.size();
  return result.substr(start, result.find('\n', start) - start);
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* const kDigits = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string Describe(const RequestEnd& end) {
  return "exit " + std::to_string(end.exitCode) + ", \"" + OneLine(end.output) + "\"";
}

}  // namespace

CStressLane::CStressLane(const std::string& name, bool paced, CStressTally& tally)
    : m_name(name), m_paced(paced), m_tally(tally) {
  Restart();
}

void CStressLane::Restart() {
  m_control.reset();
  m_stack.reset();
  qvx::testing::StackOptions options;
  options.paced = m_paced;
  m_stack = std::make_unique<qvx::testing::Stack>(options);
  m_control = std::make_unique<CControlLink>(m_stack->Dir() + "/sim0.ctl");
  m_counter = 0;
  m_mode2Since = 0;
}

std::unique_ptr<CTimedRequest> CStressLane::Start(const std::vector<std::string>& args) {
  m_tally.CountRequest();
  if (!args.empty() && args[0] == "get-mode2-response") ++m_mode2Since;
  return std::make_unique<CTimedRequest>(*m_stack, args);
}

RequestEnd CStressLane::Finish(CTimedRequest& request, const std::string& who) {
  RequestEnd end = request.Finish(kStuckBound);
  if (end.stuck) {
    m_tally.Stuck(who + " (" + m_name + ")");
  } else {
    m_tally.CountOutcome(who, end.exitCode);
  }
  return end;
}

RequestEnd CStressLane::Finish(CTimedRequest& request, const std::string& who,
                               std::initializer_list<int> allowed) {
  RequestEnd end = Finish(request, who);
  if (!end.stuck && std::find(allowed.begin(), allowed.end(), end.exitCode) == allowed.end())
    m_tally.Unexpected(who + " (" + m_name + ")", Describe(end));
  return end;
}

bool CStressLane::ProbeMode2(const std::string& scenario) {
  const std::string where = scenario + " (" + m_name + ")";
  std::unique_ptr<CTimedRequest> request = Start({"get-mode2-response"});
  const RequestEnd end = Finish(*request, "probe/get-mode2-response");
  if (end.stuck) return false;
  if (end.exitCode != 0) {
    m_tally.Desynchronised(where, "get-mode2-response: " + Describe(end));
    return false;
  }
  // Every approved mode 2 response counts on the card, also those of
  // requests that lost a race: the answer is one of the next few.
  const std::string response = ValueOf(end.output, "Response");
  const qvx::sim::MacKey key = DefaultKey();
  for (std::uint32_t counter = m_counter + 1; counter <= m_counter + m_mode2Since; ++counter) {
    const std::string expected =
        Hex(qvx::sim::ComputeResponse(key, qvx::sim::Mode2Message(counter)));
    if (response == expected) {
      m_counter = counter;
      m_mode2Since = 0;
      return true;
    }
  }
  m_tally.Desynchronised(where, "get-mode2-response answered \"" + response +
                                    "\", not the card's response for a counter after " +
                                    std::to_string(m_counter));
  return false;
}

void CStressLane::Probe(const std::string& scenario) {
  bool inStep = false;
  try {
    m_control->Send("customer approve " + std::to_string(kCustomerDelayMs));
    std::unique_ptr<CTimedRequest> check = Start({"check-connection"});
    const RequestEnd end = Finish(*check, "probe/check-connection");
    if (!end.stuck && (end.exitCode != 0 || ValueOf(end.output, "Device_Version").empty())) {
      m_tally.Desynchronised(scenario + " (" + m_name + ")", "check-connection: " + Describe(end));
    } else if (!end.stuck) {
      inStep = ProbeMode2(scenario);
    }
  } catch (const std::exception& e) {
    m_tally.Desynchronised(scenario + " (" + m_name + ")", e.what());
  }
  if (inStep) return;
  std::string state;
  try {
    state = m_control->Send("state");
  } catch (const std::exception& e) {
    state = e.what();
  }
  // What the library and the driver said last: a desynchronisation is
  // found only here, long after the scenario that caused it.
  const std::string log = m_stack->ServiceLog();
  const std::string pcscd = m_stack->PcscdLog();
  std::printf("stress: %s: last library log lines:\n%s\n", m_name.c_str(),
              log.substr(log.size() > 1500 ? log.size() - 1500 : 0).c_str());
  std::printf("stress: %s: last pcscd log lines:\n%s\n", m_name.c_str(),
              pcscd.substr(pcscd.size() > 1500 ? pcscd.size() - 1500 : 0).c_str());
  std::printf("stress: %s: device %s; a fresh stack\n", m_name.c_str(), state.c_str());
  std::fflush(stdout);
  m_tally.CountRestart();
  Restart();
}

}  // namespace qvx::bench
