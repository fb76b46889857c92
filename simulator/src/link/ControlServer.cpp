#include "link/ControlServer.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace qvx::sim {

ControlServer::ControlServer(const std::string& path) : m_listener(path, SOCK_STREAM) {}

void ControlServer::Collect(std::vector<pollfd>& fds) const {
  fds.push_back(pollfd{m_listener.Fd(), POLLIN, 0});
  for (const Client& client : m_clients) {
    short events = client.closing ? 0 : POLLIN;
    if (!client.out.empty()) events |= POLLOUT;
    fds.push_back(pollfd{client.fd.Get(), events, 0});
  }
}

void ControlServer::Serve(const std::vector<pollfd>& fds, std::size_t first,
                          const Handler& handler) {
  // Clients first: Collect listed them in this order, and Accept appends.
  for (std::size_t i = 0; i < m_clients.size() && first + 1 + i < fds.size(); ++i) {
    Client& client = m_clients[i];
    const short revents = fds[first + 1 + i].revents;
    if (revents & (POLLIN | POLLHUP | POLLERR)) ReadFrom(client, handler);
    if (!client.out.empty()) WriteTo(client);
  }
  m_clients.erase(
      std::remove_if(m_clients.begin(), m_clients.end(),
                     [](const Client& c) { return !c.fd || (c.closing && c.out.empty()); }),
      m_clients.end());
  if (fds[first].revents & POLLIN) Accept();
}

void ControlServer::Accept() {
  for (UniqueFd fd = m_listener.Accept(); fd; fd = m_listener.Accept()) {
    if (m_clients.size() >= kMaxClients) continue;  // closed by going out of scope
    Client client;
    client.fd = std::move(fd);
    m_clients.push_back(std::move(client));
  }
}

void ControlServer::ReadFrom(Client& client, const Handler& handler) {
  char buffer[1024];
  const ssize_t received = ::recv(client.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (received < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    client.fd.Reset();
    return;
  }
  if (received == 0) {
    // A last line without its newline still counts.
    if (!client.in.empty()) Answer(client, std::exchange(client.in, {}), handler);
    client.closing = true;
    return;
  }
  client.in.append(buffer, static_cast<std::size_t>(received));
  for (std::size_t end = client.in.find('\n'); end != std::string::npos && !client.closing;
       end = client.in.find('\n')) {
    std::string line = client.in.substr(0, end);
    client.in.erase(0, end + 1);
    Answer(client, line, handler);
  }
  if (client.in.size() > kMaxLine) {
    client.out += "ERR line too long\n";
    client.in.clear();
    client.closing = true;
  }
}

void ControlServer::Answer(Client& client, const std::string& line, const Handler& handler) {
  std::string text = line;
  if (!text.empty() && text.back() == '\r') text.pop_back();
  if (text.size() > kMaxLine) {
    client.out += "ERR line too long\n";
    client.closing = true;
    return;
  }
  client.out += handler(text);
  client.out += '\n';
}

void ControlServer::WriteTo(Client& client) {
  while (client.fd && !client.out.empty()) {
    const ssize_t sent =
        ::send(client.fd.Get(), client.out.data(), client.out.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) client.fd.Reset();
      return;
    }
    client.out.erase(0, static_cast<std::size_t>(sent));
  }
}

}  // namespace qvx::sim
