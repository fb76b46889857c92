// The cable: a SOCK_SEQPACKET socket, one 8-byte packet per message, the
// device side of the interrupt IN and OUT pipes. One driver at a time.
#pragma once

#include <poll.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "device/Packet.h"
#include "host/Cable.h"
#include "host/Pacer.h"
#include "host/Trace.h"
#include "host/UnixSocket.h"

namespace qvx::sim {

class Link final : public Cable {
 public:
  Link(const std::string& path, bool paced, Trace& trace);

  std::string Where() const override { return Path(); }
  void Collect(std::vector<pollfd>& fds, SteadyTime now) override;
  CableInput Serve(const std::vector<pollfd>& fds, std::size_t first, SteadyTime now) override;

  int ListenFd() const { return listener_.Fd(); }
  int ConnectionFd() const { return connection_.Get(); }
  bool Connected() const override { return connection_.Valid(); }
  bool Plugged() const override { return plugged_; }
  const std::string& Path() const { return listener_.Path(); }

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
    plugged_ = false;
    Drop();
  }
  void Plug() override { plugged_ = true; }

  std::vector<std::string> TakeEvents() override;

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
  bool polledConnection_ = false;  // Collect added the connection's entry
};

}  // namespace qvx::sim
