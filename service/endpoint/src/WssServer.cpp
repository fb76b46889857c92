#include "endpoint/WssServer.h"

#include <exception>
#include <utility>

#include <websocketpp/config/asio.hpp>
#include <websocketpp/server.hpp>

#include "command/Log.h"
#include "endpoint/Origin.h"
#include "protocol/Connection.h"

namespace qvx::endpoint {

namespace {

using Server = websocketpp::server<websocketpp::config::asio_tls>;
using ConnectionPtr = Server::connection_ptr;

void Report(std::int32_t level, const std::string& message) {
  CLog log;
  log.Append(CReport::WithMessage(STATUS_SUCCESS, level, "", message));
}

// What a command worker answers through. It keeps the library's connection
// object alive while its message waits; send and close lock per connection,
// so workers may call them from their own threads.
class CWsConnection : public protocol::IConnection {
 public:
  explicit CWsConnection(ConnectionPtr connection) : m_connection(std::move(connection)) {}

  void SendText(std::string text) override {
    m_connection->send(text, websocketpp::frame::opcode::text);
  }
  void Close(std::uint16_t code, std::string reason) override {
    websocketpp::lib::error_code ignored;
    m_connection->close(code, reason, ignored);
  }

 private:
  ConnectionPtr m_connection;
};

bool ValidateConnection(Server& server, websocketpp::connection_hdl handle) {
  const ConnectionPtr connection = server.get_con_from_hdl(handle);
  // The address alone: the library's endpoint text ends in the port.
  boost::system::error_code error;
  const auto remote = connection->get_raw_socket().remote_endpoint(error);
  const std::string peer = error ? std::string() : remote.address().to_string();
  if (!IsLocalPeer(peer)) {
    Report(LEVEL_ERROR, "[WSS] Connection from invalid IP: " + peer);
    return false;
  }
  const std::string& origin = connection->get_origin();
  if (!IsAllowedOrigin(origin)) {
    Report(LEVEL_ERROR, "[WSS] Connection from invalid origin: " + origin);
    return false;
  }
  return true;
}

}  // namespace

std::string HttpPageBody() {
  return std::string("<!DOCTYPE html><html><body><center><h4>Secure HTTP page served by the "
                     "Brixon WebSocket Server.</h4><h5>[") +
         kVersionText + "]</h5></center></body></html>";
}

class CWssServer::Endpoint {
 public:
  Endpoint(boost::asio::io_context& loop, protocol::CCommandQueue& queue,
           const std::string& pemDirectory) {
    m_server.set_user_agent(kServerName);
    m_server.init_asio(&loop);
    m_server.set_validate_handler(
        [this](websocketpp::connection_hdl handle) { return ValidateConnection(m_server, handle); });
    m_server.set_message_handler([this, &queue](websocketpp::connection_hdl handle,
                                                Server::message_ptr message) {
      auto connection = std::make_shared<CWsConnection>(m_server.get_con_from_hdl(handle));
      std::weak_ptr<protocol::IConnection> reply = connection;
      queue.Enqueue(message->get_payload(), std::move(connection), std::move(reply));
    });
    m_server.set_http_handler([this](websocketpp::connection_hdl handle) {
      // No status set: the library answers 500 with this page.
      m_server.get_con_from_hdl(handle)->set_body(HttpPageBody());
    });
    m_server.set_tls_init_handler([pemDirectory](websocketpp::connection_hdl) {
      CLog log;
      return MakeTlsContext(pemDirectory, log);
    });
    m_server.clear_access_channels(websocketpp::log::alevel::all);
  }

  // Raises websocketpp::exception when the port cannot be served.
  std::uint16_t Listen(std::uint16_t port) {
    m_server.listen(boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address(kListenAddress), port));
    m_server.start_accept();
    return m_server.get_local_endpoint(m_error).port();
  }

  void RunLoop() { m_server.run(); }
  void StopLoop() { m_server.stop(); }

 private:
  Server m_server;
  boost::system::error_code m_error;
};

CWssServer::CWssServer(std::uint16_t workerCount, WssSettings settings)
    : m_settings(std::move(settings)), m_workerCount(workerCount) {}

CWssServer::~CWssServer() {
  Stop();
  if (m_workers) m_workers->Stop();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_endpoint.reset();
}

bool CWssServer::Run() {
  CLog log;
  if (!m_workers && m_workerCount > 0) {
    m_workers = std::make_unique<protocol::CCommandWorkers>(m_queue, m_settings.commandFactory,
                                                           m_workerCount);
  }
  for (const std::uint16_t port : m_settings.ports) {
    Endpoint* endpoint = nullptr;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_stopping) return true;
      boost::asio::io_context& loop = m_loops.emplace_back();
      m_endpoint = std::make_unique<Endpoint>(loop, m_queue, m_settings.pemDirectory);
      endpoint = m_endpoint.get();
    }
    try {
      log.Append(CReport(STATUS_SUCCESS, LEVEL_INFO, "", "[WSS] Serving on port: %d", port));
      m_servingPort = endpoint->Listen(port);
      endpoint->RunLoop();
      m_servingPort = 0;
      std::lock_guard<std::mutex> lock(m_mutex);
      m_endpoint.reset();
      return true;
    } catch (const websocketpp::exception&) {
      m_servingPort = 0;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_endpoint->StopLoop();
        m_endpoint.reset();
      }
      log.Append(CReport(STATUS_SUCCESS, LEVEL_ERROR, "", "[WSS] Failed!"));
    }
  }
  return m_stopping.load();
}

void CWssServer::Stop() {
  m_stopping = true;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_endpoint) m_endpoint->StopLoop();
}

}  // namespace qvx::endpoint
