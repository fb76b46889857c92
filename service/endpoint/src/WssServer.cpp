#include "endpoint/WssServer.h"

#include <chrono>
#include <exception>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <websocketpp/config/asio.hpp>
#include <websocketpp/server.hpp>

#include "command/Log.h"
#include "command/VisibleText.h"
#include "endpoint/Origin.h"
#include "protocol/Connection.h"

namespace qvx::endpoint {

namespace {

using Server = websocketpp::server<websocketpp::config::asio_tls>;
using ConnectionPtr = Server::connection_ptr;

void Report(std::int32_t level, const std::string& message) {
  CLog log;
  log.Append(CReport::WithMessage(kStatusSuccess, level, "", message));
}

// What a command worker answers through. The endpoint owns one per open
// connection and queues only weak handles to it; a worker that locks one
// keeps the library's connection object alive for its reply. Send and close
// lock per connection, so workers may call them from their own threads.
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
    Report(LEVEL_ERROR, "[WSS] Connection from invalid origin: " + VisibleText(origin));
    return false;
  }
  return true;
}

}  // namespace

std::string HttpPageBody() {
  return std::string(
             "<!DOCTYPE html><html><body><center><h4>Secure HTTP page served by the "
             "Brixon WebSocket Server.</h4><h5>[") +
         kVersionText + "]</h5></center></body></html>";
}

class CWssServer::Endpoint {
 public:
  Endpoint(boost::asio::io_context& loop, protocol::CCommandQueue& queue,
           const std::string& pemDirectory)
      : m_loop(loop), m_closeLimit(loop) {
    m_server.set_user_agent(kServerName);
    m_server.set_max_message_size(kMaxMessageSize);
    m_server.set_max_http_body_size(kMaxMessageSize);
    m_server.set_open_handler([this](websocketpp::connection_hdl handle) {
      m_open.emplace(handle, std::make_shared<CWsConnection>(m_server.get_con_from_hdl(handle)));
    });
    m_server.set_close_handler([this](websocketpp::connection_hdl handle) { Forget(handle); });
    m_server.set_fail_handler([this](websocketpp::connection_hdl handle) { Forget(handle); });
    m_server.init_asio(&loop);
    m_server.set_validate_handler([this](websocketpp::connection_hdl handle) {
      return ValidateConnection(m_server, handle);
    });
    m_server.set_message_handler(
        [this, &queue](websocketpp::connection_hdl handle, Server::message_ptr message) {
          // Messages arrive on open connections only.
          const auto open = m_open.find(handle);
          if (open != m_open.end()) queue.Enqueue(message->get_payload(), open->second);
        });
    m_server.set_http_handler([this](websocketpp::connection_hdl handle) {
      // No status set: the library answers 500 with this page.
      m_server.get_con_from_hdl(handle)->set_body(HttpPageBody());
    });
    // Without this the close frame and the TLS close alert, two small
    // writes, wait for the client's delayed acknowledgement.
    m_server.set_tcp_post_init_handler([this](websocketpp::connection_hdl handle) {
      boost::system::error_code ignored;
      m_server.get_con_from_hdl(handle)->get_raw_socket().lowest_layer().set_option(
          boost::asio::ip::tcp::no_delay(true), ignored);
    });
    m_server.set_tls_init_handler([pemDirectory](websocketpp::connection_hdl) {
      CLog log;
      return MakeTlsContext(pemDirectory, log);
    });
    m_server.clear_access_channels(websocketpp::log::alevel::all);
    // Taken ports, cancelled accepts at stop: the service's own log says
    // what matters; the library's informational lines are noise.
    m_server.clear_error_channels(websocketpp::log::elevel::info);
  }

  // Raises websocketpp::exception when the port cannot be served.
  std::uint16_t Listen(std::uint16_t port) {
    // Connections the server closed leave the port in TIME_WAIT for a
    // minute; without this a restart would fall through to the next port
    // and leave its own free for anyone. A port another socket listens on
    // still refuses the bind, so the fall-through keeps working.
    m_server.set_reuse_addr(true);
    m_server.listen(
        boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address(kListenAddress), port));
    m_server.start_accept();
    return m_server.get_local_endpoint(m_error).port();
  }

  void RunLoop() { m_server.run(); }

  // Ends the loop at once; for an endpoint whose loop does not run.
  void HaltLoop() { m_server.stop(); }

  // From any thread: stops accepting and closes every connection, so the
  // replies already handed over still reach their pages; the loop ends when
  // the last connection has closed, or at the time limit.
  void StopLoop() {
    boost::asio::post(m_loop, [this] {
      if (m_stopping) return;  // a second stop finds it under way
      m_stopping = true;
      websocketpp::lib::error_code notListening;
      m_server.stop_listening(notListening);
      // A close may end a connection at once, and with it its entry.
      std::vector<websocketpp::connection_hdl> open;
      for (const auto& entry : m_open) open.push_back(entry.first);
      for (const auto& handle : open) {
        // A fresh code for each: the library's close returns at once on a
        // code already set, and a connection whose close is still under way
        // (its TLS shutdown waits up to 5 s for the peer) sets one, which
        // cost every connection after it its going-away close.
        websocketpp::lib::error_code alreadyClosing;
        m_server.close(handle, websocketpp::close::status::going_away, "", alreadyClosing);
      }
      m_closeLimit.expires_after(kCloseLimit);
      m_closeLimit.async_wait([this](const boost::system::error_code& error) {
        if (!error) m_server.stop();
      });
      StopWhenClosed();
    });
  }

 private:
  using Earlier = std::owner_less<websocketpp::connection_hdl>;
  static constexpr std::chrono::milliseconds kCloseLimit{1000};

  void Forget(websocketpp::connection_hdl handle) {
    m_open.erase(handle);
    if (m_stopping) StopWhenClosed();
  }

  void StopWhenClosed() {
    if (m_open.empty()) m_server.stop();
  }

  boost::asio::io_context& m_loop;
  Server m_server;
  boost::system::error_code m_error;
  // Loop thread only. The one owner of each open connection's reply object:
  // dropped at the close, which expires the handles of its queued messages.
  std::map<websocketpp::connection_hdl, std::shared_ptr<CWsConnection>, Earlier> m_open;
  boost::asio::steady_timer m_closeLimit;
  bool m_stopping = false;
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
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_workers && m_workerCount > 0) {
      m_workers = std::make_unique<protocol::CCommandWorkers>(m_queue, m_settings.commandFactory,
                                                              m_workerCount);
    }
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
      log.Append(CReport(kStatusSuccess, LEVEL_INFO, "", "[WSS] Serving on port: %d", port));
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
        m_endpoint->HaltLoop();
        m_endpoint.reset();
      }
      log.Append(CReport(kStatusSuccess, LEVEL_ERROR, "", "[WSS] Failed!"));
    }
  }
  return m_stopping.load();
}

bool CWssServer::WaitIdle(std::chrono::milliseconds limit) {
  protocol::CCommandWorkers* workers = nullptr;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    workers = m_workers.get();
  }
  // The workers live as long as this object once made.
  return workers == nullptr || workers->WaitIdle(limit);
}

void CWssServer::Stop() {
  m_stopping = true;
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_endpoint) m_endpoint->StopLoop();
}

}  // namespace qvx::endpoint
