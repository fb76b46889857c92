// The cable: a SOCK_SEQPACKET socket, one 8-byte packet per message, the
// device side of the interrupt IN and OUT pipes. One driver at a time.
#pragma once

#include <poll.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "device/Packet.h"
#include "host/Pacer.h"
#include "host/Trace.h"
#include "host/UnixSocket.h"

namespace qvx::sim {

class Link {
 public:
  Link(const std::string& path, bool paced, Trace& trace);

  int ListenFd() const { return listener_.Fd(); }
  int ConnectionFd() const { return connection_.Get(); }
  bool Connected() const { return connection_.Valid(); }
  bool Plugged() const { return plugged_; }
  const std::string& Path() const { return listener_.Path(); }

  // Takes every waiting connection; true when one became the driver's.
  // The others are closed at once.
  bool AcceptPending();
  // Poll events the connection needs now.
  short ConnectionEvents(SteadyTime now) const;
  // Packets read as far as pacing allows. Sets `closed` when the driver
  // went away; the connection is then dropped.
  std::vector<Packet> Read(SteadyTime now, bool& closed);
  void Queue(const std::vector<Packet>& packets);
  // Sends as far as pacing and the socket allow; false when the driver went away.
  bool Flush(SteadyTime now);
  std::optional<SteadyTime> NextWake(SteadyTime now) const;
  bool Drop();  // false when nothing was connected

  void Unplug() {
    plugged_ = false;
    Drop();
  }
  void Plug() { plugged_ = true; }

  std::vector<std::string> TakeEvents();

 private:
  ListeningSocket listener_;
  UniqueFd connection_;
  bool plugged_ = true;
  bool blocked_ = false;  // the last send found the socket full
  Pacer inPacer_;
  Pacer outPacer_;
  std::deque<Packet> outbox_;
  Trace& trace_;
  std::vector<std::string> events_;
};

}  // namespace qvx::sim
