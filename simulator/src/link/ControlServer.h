// The control socket: SOCK_STREAM, one text command per line, one reply
// line per command. Several clients may be connected at once.
#pragma once

#include <poll.h>

#include <functional>
#include <string>
#include <vector>

#include "link/UnixSocket.h"

namespace qvx::sim {

class ControlServer {
 public:
  using Handler = std::function<std::string(const std::string& line)>;

  static constexpr std::size_t kMaxClients = 16;
  static constexpr std::size_t kMaxLine = 4096;

  explicit ControlServer(const std::string& path);

  const std::string& Path() const { return m_listener.Path(); }
  // Appends the poll entries of the listener and every client.
  void Collect(std::vector<pollfd>& fds) const;
  // Serves the entries Collect added, starting at `first`.
  void Serve(const std::vector<pollfd>& fds, std::size_t first, const Handler& handler);

 private:
  struct Client {
    UniqueFd fd;
    std::string in;
    std::string out;
    bool closing = false;  // the client hung up, or broke the rules; close once out is sent
  };

  void Accept();
  void ReadFrom(Client& client, const Handler& handler);
  static void Answer(Client& client, const std::string& line, const Handler& handler);
  static void WriteTo(Client& client);

  ListeningSocket m_listener;
  std::vector<Client> m_clients;
};

}  // namespace qvx::sim
