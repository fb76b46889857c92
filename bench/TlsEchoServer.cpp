#include "TlsEchoServer.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <websocketpp/config/asio.hpp>
#include <websocketpp/server.hpp>

#include "Subprocess.h"
#include "command/Log.h"
#include "endpoint/TlsContext.h"

namespace qvx::bench {

using Server = websocketpp::server<websocketpp::config::asio_tls>;

namespace {

// The service's TLS settings with the PEM loaded once, up front; throws
// when it cannot be loaded.
std::shared_ptr<boost::asio::ssl::context> LoadedTlsContext(const std::string& pemDirectory) {
  namespace ssl = boost::asio::ssl;
  auto context = std::make_shared<ssl::context>(ssl::context::tlsv12);
  context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                       ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                       ssl::context::no_tlsv1_3 | ssl::context::single_dh_use);
  context->set_password_callback(
      [](std::size_t, ssl::context::password_purpose) { return qvx::endpoint::PemPassPhrase(); });
  const std::string path = pemDirectory + "/" + qvx::endpoint::kPemFileName;
  context->use_certificate_chain_file(path);
  context->use_private_key_file(path, ssl::context::pem);
  return context;
}

}  // namespace

class CTlsEchoServer::Impl {
 public:
  Impl(const std::string& pemDirectory, TlsContextUse use) {
    // A PEM that does not load shows as failed handshakes; its log line must
    // not go to a machine-wide log when no stack's environment is set.
    m_log.SetFileName("/dev/null");
    if (use == TlsContextUse::Shared) m_context = LoadedTlsContext(pemDirectory);
    m_server.init_asio();
    m_server.clear_access_channels(websocketpp::log::alevel::all);
    m_server.set_tls_init_handler([this, pemDirectory](websocketpp::connection_hdl) {
      if (m_context) return m_context;
      return qvx::endpoint::MakeTlsContext(pemDirectory, m_log);
    });
    m_server.set_message_handler(
        [this](websocketpp::connection_hdl handle, Server::message_ptr message) {
          websocketpp::lib::error_code ignored;
          m_server.send(handle, message->get_payload(), message->get_opcode(), ignored);
        });
    websocketpp::lib::error_code error;
    m_server.listen(boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0),
                    error);
    if (!error) m_server.start_accept(error);
    boost::system::error_code endpointError;
    if (!error) m_port = m_server.get_local_endpoint(endpointError).port();
    if (error) throw std::runtime_error("echo server: " + error.message());
    if (endpointError) throw std::runtime_error("echo server: " + endpointError.message());
    m_thread = std::thread([this] { m_server.run(); });
  }

  ~Impl() {
    m_server.stop();
    m_thread.join();
  }

  std::uint16_t Port() const { return m_port; }

 private:
  qvx::CLog m_log;
  std::shared_ptr<boost::asio::ssl::context> m_context;
  Server m_server;
  std::uint16_t m_port = 0;
  std::thread m_thread;
};

CTlsEchoServer::CTlsEchoServer(const std::string& pemDirectory, TlsContextUse use)
    : m_impl(std::make_unique<Impl>(pemDirectory, use)) {}

CTlsEchoServer::~CTlsEchoServer() = default;

std::uint16_t CTlsEchoServer::Port() const { return m_impl->Port(); }

namespace {

bool WriteAll(int fd, const void* data, std::size_t size) {
  return write(fd, data, size) == static_cast<ssize_t>(size);
}

// The child: serves, tells the parent its port, and ends when the parent
// closes its end of `keepAlive` (or dies).
[[noreturn]] void ServeInChild(const std::string& pemDirectory, TlsContextUse use, int portOut,
                               int keepAlive) {
  std::uint16_t port = 0;
  try {
    CTlsEchoServer server(pemDirectory, use);
    port = server.Port();
    if (!WriteAll(portOut, &port, sizeof port)) _exit(1);
    close(portOut);
    char byte = 0;
    while (read(keepAlive, &byte, 1) < 0 && errno == EINTR) {
    }
  } catch (...) {
    _exit(port == 0 ? 2 : 1);
  }
  _exit(0);
}

}  // namespace

CTlsEchoProcess::CTlsEchoProcess(const std::string& pemDirectory, TlsContextUse use) {
  const auto pipes = qvx::testing::MakePipes();
  const qvx::testing::PipeEnds& portPipe = pipes[0];
  const qvx::testing::PipeEnds& alivePipe = pipes[1];
  m_pid = qvx::testing::ForkWith(pipes);
  if (m_pid == 0) {
    close(portPipe.read);
    close(alivePipe.write);
    ServeInChild(pemDirectory, use, portPipe.write, alivePipe.read);
  }
  close(portPipe.write);
  close(alivePipe.read);
  m_keepAlive = alivePipe.write;
  ssize_t got = 0;
  do {
    got = read(portPipe.read, &m_port, sizeof m_port);
  } while (got < 0 && errno == EINTR);
  close(portPipe.read);
  if (got != static_cast<ssize_t>(sizeof m_port)) {
    End();
    throw std::runtime_error("the echo server process did not start");
  }
}

CTlsEchoProcess::~CTlsEchoProcess() { End(); }

void CTlsEchoProcess::End() noexcept {
  if (m_keepAlive >= 0) close(m_keepAlive);
  m_keepAlive = -1;
  if (m_pid <= 0) return;
  // It ends by itself once the pipe is closed; a stuck one is killed.
  for (int i = 0; i < 200; ++i) {
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
      m_pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(m_pid, SIGKILL);
  while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  m_pid = -1;
}

}  // namespace qvx::bench
