// The cable: a SOCK_SEQPACKET socket, one 8-byte packet per message, the
// device side of the interrupt IN and OUT pipes. One driver at a time.
#pragma once

#include <poll.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "device/DevicePackets.h"
#include "link/Cable.h"
#include "link/Pacer.h"
#include "link/Trace.h"
#include "link/UnixSocket.h"

namespace qvx::sim {

class Link final : public Cable {
 public:
  Link(const std::string& path, bool paced, Trace& trace);

  std::string Where() const override { return Path(); }
  void Collect(std::vector<pollfd>& fds, SteadyTime now) override;
  CableInput Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) override;

  int ListenFd() const { return m_listener.Fd(); }
  int ConnectionFd() const { return m_connection.Get(); }
  bool Connected() const override { return m_connection.Valid(); }
  bool Plugged() const override { return m_plugged; }
  const std::string& Path() const { return m_listener.Path(); }

  // Takes every waiting connection; true when one became the driver's.
  // The others are closed at once.
  bool AcceptPending();
  // Poll events the connection needs now.
  short ConnectionEvents(SteadyTime now) const;
  // Packets read as far as pacing allows. Sets `closed` when the driver
  // went away; the connection is then dropped.
  std::vector<Packet> Read(SteadyTime now, bool& closed);
  void Queue(const std::vector<Packet>& packets) override;
  // Sends as far as pacing and the socket allow; false when the driver went away.
  bool Flush(SteadyTime now) override;
  std::optional<SteadyTime> NextWake(SteadyTime now) const override;
  bool Drop();  // false when nothing was connected

  void Unplug() override {
    m_plugged = false;
    Drop();
  }
  void Plug() override { m_plugged = true; }

  std::vector<std::string> TakeEvents() override;

 private:
  ListeningSocket m_listener;
  UniqueFd m_connection;
  bool m_plugged = true;
  bool m_blocked = false;  // the last send found the socket full
  Pacer m_inPacer;
  Pacer m_outPacer;
  std::deque<Packet> m_outbox;
  Trace& m_trace;
  std::vector<std::string> m_events;
  bool m_polledConnection = false;  // Collect added the connection's entry
};

}  // namespace qvx::sim
