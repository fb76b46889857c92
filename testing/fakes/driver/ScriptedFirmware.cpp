#include "ScriptedFirmware.h"

#include <algorithm>
#include <utility>

#include "ScriptedEdge.h"

namespace qvx::testing {

namespace sim = qvx::sim;
using Kind = sim::Incoming::Kind;

namespace {

bool IsAbort(const Packet& packet) { return sim::Classify(packet).kind == Kind::Abort; }

}  // namespace

Packets AtrPackets(const Bytes& atr, std::size_t chunk) {
  Packets packets;
  for (std::size_t offset = 0; offset < atr.size(); offset += chunk) {
    const auto from = atr.begin() + static_cast<std::ptrdiff_t>(offset);
    const Bytes slice(from,
                      from + static_cast<std::ptrdiff_t>(std::min(chunk, atr.size() - offset)));
    for (const Packet& packet : sim::DataPackets(slice)) packets.push_back(packet);
  }
  return packets;
}

void ScriptedFirmware::SetSink(Sink sink) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_sink = std::move(sink);
}

void ScriptedFirmware::Attach(ScriptedEdge& edge) {
  SetSink([&edge](const Packets& packets) { edge.Send(packets); });
  edge.OnWrite([this](const Packet& packet) { OnPacket(packet); });
  edge.OnClose([this] { SetSink(nullptr); });
}

void ScriptedFirmware::Script(std::uint8_t command, Packets packets) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_answers[command].push_back(std::move(packets));
}

void ScriptedFirmware::Script(std::uint8_t command, std::uint8_t code, const Bytes& data) {
  Script(command, sim::ResponsePackets(code, data));
}

void ScriptedFirmware::Hold(std::uint8_t command) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_holds[command] = true;
}

void ScriptedFirmware::SetCardInserted(bool inserted) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_cardInserted = inserted;
}

void ScriptedFirmware::SetAtr(Packets packets) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_atr = std::move(packets);
}

void ScriptedFirmware::SetAbortAnswer(Packets packets) {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_abortAnswer = std::move(packets);
}

void ScriptedFirmware::Release(const Packets& packets) {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_held = false;
  }
  Emit(packets);
}

void ScriptedFirmware::Send(const Packets& packets) { Emit(packets); }

Packets ScriptedFirmware::Written() {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_written;
}

std::vector<ReceivedCommand> ScriptedFirmware::Commands() {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_commands;
}

Packets ScriptedFirmware::Aborts() {
  std::lock_guard<std::mutex> guard(m_mutex);
  Packets aborts;
  std::copy_if(m_written.begin(), m_written.end(), std::back_inserter(aborts), IsAbort);
  return aborts;
}

void ScriptedFirmware::ClearLog() {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_written.clear();
  m_commands.clear();
}

bool ScriptedFirmware::WaitForCommand(std::uint8_t command, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] {
    return std::any_of(m_commands.begin(), m_commands.end(),
                       [command](const ReceivedCommand& c) { return c.command == command; });
  });
}

bool ScriptedFirmware::WaitForWritten(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] { return m_written.size() >= count; });
}

bool ScriptedFirmware::WaitForAborts(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] { return AbortCountLocked() >= count; });
}

std::size_t ScriptedFirmware::AbortCountLocked() const {
  return static_cast<std::size_t>(std::count_if(m_written.begin(), m_written.end(), IsAbort));
}

void ScriptedFirmware::OnPacket(const Packet& packet) {
  Packets out;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_written.push_back(packet);
    out = Handle(packet);
  }
  m_changed.notify_all();
  if (!out.empty()) Emit(out);
}

void ScriptedFirmware::Emit(const Packets& packets) {
  Sink sink;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    sink = m_sink;
  }
  if (sink) sink(packets);
}

Packets ScriptedFirmware::Handle(const Packet& packet) {
  const sim::Incoming in = sim::Classify(packet);
  switch (in.kind) {
    case Kind::Abort:
      // Only an operation under way is ended (and answered).
      if (m_held || m_collecting) {
        m_held = false;
        m_collecting = false;
        return m_abortAnswer;
      }
      return {};
    case Kind::ReaderControl:
      if (in.selector == sim::wire::kStatusQuery) return {sim::CardStatusPacket(m_cardInserted)};
      if (in.selector == sim::wire::kColdReset || in.selector == sim::wire::kWarmReset)
        return m_atr;
      return {};
    case Kind::CommandHeader:
      m_current = ReceivedCommand{in.command, {}};
      m_expected = in.length;
      m_collecting = true;
      return m_expected == 0 ? Complete() : Packets{};
    case Kind::Data:
      if (!m_collecting) return {};
      for (std::size_t i = 0; i < in.count && i < sim::wire::kMaxChunk; ++i)
        m_current.data.push_back(packet[2 + i]);
      return m_current.data.size() >= m_expected ? Complete() : Packets{};
    case Kind::Invalid:
      return {};
  }
  return {};
}

Packets ScriptedFirmware::Complete() {
  m_collecting = false;
  m_commands.push_back(m_current);
  if (m_holds[m_current.command]) {
    m_held = true;
    return {};
  }
  auto found = m_answers.find(m_current.command);
  if (found == m_answers.end() || found->second.empty()) {
    // Check device is answered in every state, as the device does: the
    // driver relies on it to get back in step.
    if (m_current.command == 0x02)
      return sim::ResponsePackets(0x05, {'0', '1', '.', '2', '0', 0x00});
    return sim::ResponsePackets(0x07, {});  // a code no command accepts
  }
  Packets answer = found->second.front();
  if (found->second.size() > 1) found->second.pop_front();
  return answer;
}

}  // namespace qvx::testing
