#include "TestDevice.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace qvx::testing {

namespace {

void MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
      throw std::runtime_error("mkdir " + part + ": " + std::strerror(errno));
    }
    if (slash == std::string::npos) return;
  }
}

}  // namespace

CTestDevice::CTestDevice(const std::string& root, const platform::GUID& classGuid,
                         const std::string& name, Handler handler)
    : m_handler(std::move(handler)) {
  const std::string directory = root + "/" + platform::GuidText(classGuid);
  MakeDirectories(directory);
  m_path = directory + "/" + name;
  ::unlink(m_path.c_str());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (m_path.size() >= sizeof address.sun_path) throw std::runtime_error("path too long");
  std::strcpy(address.sun_path, m_path.c_str());
  m_listener = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (m_listener < 0 || ::pipe2(m_stop, O_CLOEXEC) != 0 ||
      ::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 8) != 0) {
    throw std::runtime_error("test device " + m_path + ": " + std::strerror(errno));
  }
  m_acceptor = std::thread([this] { Accept(); });
}

CTestDevice::~CTestDevice() {
  const char byte = 0;
  (void)!::write(m_stop[1], &byte, 1);
  m_acceptor.join();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int socket : m_sockets) ::shutdown(socket, SHUT_RDWR);
  }
  for (std::thread& connection : m_connections) connection.join();
  for (int socket : m_sockets) ::close(socket);
  ::unlink(m_path.c_str());
  ::close(m_listener);
  ::close(m_stop[0]);
  ::close(m_stop[1]);
}

std::vector<std::uint32_t> CTestDevice::Received() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

void CTestDevice::Accept() {
  for (;;) {
    pollfd ready[2] = {{m_listener, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
    if (::poll(ready, 2, -1) < 0 && errno != EINTR) return;
    if (ready[1].revents != 0) return;
    if (ready[0].revents == 0) continue;
    const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sockets.push_back(connection);
    m_connections.emplace_back([this, connection] { Serve(connection); });
  }
}

void CTestDevice::Serve(int connection) {
  std::vector<std::uint8_t> packet(platform::kMaxDevicePacket);
  for (;;) {
    const ssize_t received = ::recv(connection, packet.data(), packet.size(), 0);
    if (received < static_cast<ssize_t>(sizeof(platform::DeviceRequestHeader))) return;
    platform::DeviceRequestHeader header{};
    std::memcpy(&header, packet.data(), sizeof header);
    const std::vector<std::uint8_t> input(packet.begin() + sizeof header,
                                          packet.begin() + received);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_received.push_back(header.controlCode);
    }
    Reply reply = m_handler(header.controlCode, input, header.outputCapacity);
    const platform::DeviceReplyHeader replyHeader{reply.error,
                                                  static_cast<std::uint32_t>(reply.output.size())};
    std::vector<std::uint8_t> answer(sizeof replyHeader + reply.output.size());
    std::memcpy(answer.data(), &replyHeader, sizeof replyHeader);
    if (!reply.output.empty()) {
      std::memcpy(answer.data() + sizeof replyHeader, reply.output.data(), reply.output.size());
    }
    if (::send(connection, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) return;
  }
}

}  // namespace qvx::testing
