// The device's side of the packet framing for the driver's unit tests:
// commands in, scripted answers out. Its answers are built with the
// simulator's packet codec, never the driver's, so a fault in the driver's
// codec cannot hide behind the same fault in its test.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "device/DevicePackets.h"

namespace qvx::testing {

class ScriptedEdge;

using Packet = qvx::sim::Packet;
using Packets = std::vector<Packet>;
using Bytes = std::vector<std::uint8_t>;

// The ATR as the device sends it, in data packets of `chunk` bytes.
Packets AtrPackets(const Bytes& atr, std::size_t chunk = qvx::sim::wire::kMaxChunk);

struct ReceivedCommand {
  std::uint8_t command = 0;
  Bytes data;
  bool operator==(const ReceivedCommand& other) const {
    return command == other.command && data == other.data;
  }
};

class ScriptedFirmware {
 public:
  using Sink = std::function<void(const Packets&)>;

  // Where the answers go; SetSink(nullptr) drops them.
  void SetSink(Sink sink);
  // Behind an edge: the edge's writes come here, the answers go back to it,
  // until the edge goes.
  void Attach(ScriptedEdge& edge);

  // Script. An answer given once is repeated for every later command of
  // that byte; several are used in turn, the last one repeating.
  void Script(std::uint8_t command, Packets packets);
  void Script(std::uint8_t command, std::uint8_t code, const Bytes& data = {});
  // The command gets no answer until Release() or an abort.
  void Hold(std::uint8_t command);
  void SetCardInserted(bool inserted);
  void SetAtr(Packets packets);
  // What the device sends when an abort ends a held command.
  void SetAbortAnswer(Packets packets);
  // Ends a held command with `packets`.
  void Release(const Packets& packets);
  // Sends unasked, as for a card event.
  void Send(const Packets& packets);

  // Everything the host wrote, and the commands it made of them.
  Packets Written();
  std::vector<ReceivedCommand> Commands();
  Packets Aborts();
  void ClearLog();
  // Waits until a command `command` has come in complete (and is held or
  // answered).
  bool WaitForCommand(std::uint8_t command,
                      std::chrono::milliseconds limit = std::chrono::seconds(5));
  bool WaitForWritten(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
  bool WaitForAborts(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));

  // One packet from the host.
  void OnPacket(const Packet& packet);

 private:
  Packets Handle(const Packet& packet);
  Packets Complete();
  std::size_t AbortCountLocked() const;
  void Emit(const Packets& packets);

  std::mutex m_mutex;
  std::condition_variable m_changed;
  Sink m_sink;
  std::map<std::uint8_t, std::deque<Packets>> m_answers;
  std::map<std::uint8_t, bool> m_holds;
  bool m_cardInserted = true;
  Packets m_atr;
  Packets m_abortAnswer{qvx::sim::EventPacket(qvx::sim::wire::kEventAborted)};

  Packets m_written;
  std::vector<ReceivedCommand> m_commands;
  ReceivedCommand m_current;
  std::size_t m_expected = 0;
  bool m_collecting = false;
  bool m_held = false;
};

}  // namespace qvx::testing
