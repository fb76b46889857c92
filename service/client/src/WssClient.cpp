#include "client/WssClient.h"

#include <boost/asio/ssl/host_name_verification.hpp>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <websocketpp/client.hpp>

#include "BindingTransport.h"

namespace qvx::client {

namespace {

using Client = websocketpp::client<ClientConfig>;
using SslContext = boost::asio::ssl::context;

// Long enough for a server that answers at all; Close and the destructor
// never wait longer than this for the closing handshake.
constexpr std::chrono::milliseconds kClosePatience{2000};

std::string PortText(std::uint16_t port) { return std::to_string(port); }

}  // namespace

class CWssClient::Impl {
 public:
  explicit Impl(ClientOptions options) : m_options(std::move(options)) {
    m_client.clear_access_channels(websocketpp::log::alevel::all);
    m_client.clear_error_channels(websocketpp::log::elevel::all);
    m_client.init_asio();
    m_client.start_perpetual();
    m_client.SetSourceAddress(m_options.sourceAddress);
    m_client.set_tls_init_handler([this](websocketpp::connection_hdl) { return MakeTls(); });
    m_client.set_open_handler([this](websocketpp::connection_hdl) { Settle(State::Open); });
    m_client.set_fail_handler([this](websocketpp::connection_hdl handle) { OnFail(handle); });
    m_client.set_close_handler([this](websocketpp::connection_hdl handle) { OnClose(handle); });
    m_client.set_message_handler([this](websocketpp::connection_hdl, Client::message_ptr message) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_messages.push_back(message->get_payload());
      m_changed.notify_all();
    });
    m_client.set_pong_handler([this](websocketpp::connection_hdl, std::string) {
      std::lock_guard<std::mutex> lock(m_mutex);
      ++m_pongs;
      m_changed.notify_all();
    });
    m_thread = std::thread([this] { m_client.run(); });
  }

  ~Impl() {
    Close();
    m_client.stop_perpetual();
    m_client.stop();
    if (m_thread.joinable()) m_thread.join();
  }

  void Connect() {
    const std::string uri = "wss://" + m_options.host + ":" + PortText(m_options.port) + "/";
    websocketpp::lib::error_code error;
    Client::connection_ptr connection = m_client.get_connection(uri, error);
    if (error) throw ClientError("cannot connect to " + uri + ": " + error.message(), 0);
    if (!m_options.origin.empty()) connection->replace_header("Origin", m_options.origin);
    m_handle = connection->get_handle();
    m_client.connect(connection);

    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_changed.wait_for(lock, m_options.timeout,
                            [this] { return m_state != State::Connecting; })) {
      lock.unlock();
      Abort();
      throw ClientError("no connection to " + uri + " within the time-out", 0);
    }
    if (m_state == State::Failed) throw ClientError(m_failure, m_httpStatus);
  }

  void Send(const std::string& payload, websocketpp::frame::opcode::value opcode) {
    websocketpp::lib::error_code error;
    m_client.send(m_handle, payload, opcode, error);
    if (error) throw std::runtime_error("send failed: " + error.message());
  }

  std::optional<std::string> Receive(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] { return !m_messages.empty() || m_closed; });
    if (m_messages.empty()) return std::nullopt;
    std::string message = std::move(m_messages.front());
    m_messages.pop_front();
    return message;
  }

  std::optional<CloseInfo> Closed() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
  }

  std::optional<CloseInfo> WaitClosed(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, timeout, [this] { return m_closed.has_value(); });
    return m_closed;
  }

  bool Ping(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_closed) return false;
    const unsigned expected = m_pongs + 1;
    lock.unlock();
    websocketpp::lib::error_code error;
    m_client.ping(m_handle, "", error);
    if (error) return false;
    lock.lock();
    return m_changed.wait_for(lock, timeout, [&] { return m_pongs >= expected || m_closed; }) &&
           m_pongs >= expected;
  }

  void Close() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_state != State::Open || m_closed) return;
    }
    websocketpp::lib::error_code error;
    m_client.close(m_handle, websocketpp::close::status::normal, "", error);
    if (error || !WaitClosed(kClosePatience)) Abort();
  }

  std::uint16_t Port() const { return m_options.port; }
  const ClientOptions& Options() const { return m_options; }

 private:
  enum class State { Connecting, Open, Failed };

  std::shared_ptr<SslContext> MakeTls() {
    // tlsv12_client pins the protocol to TLS 1.2, as the service speaks it.
    auto context = std::make_shared<SslContext>(SslContext::tlsv12_client);
    if (!m_options.caFile.empty()) {
      boost::system::error_code error;
      context->load_verify_file(m_options.caFile, error);
      // A file that cannot be read verifies nothing: the handshake fails.
      context->set_verify_mode(boost::asio::ssl::verify_peer, error);
      context->set_verify_callback(boost::asio::ssl::host_name_verification(m_options.host), error);
    }
    return context;
  }

  void Settle(State state) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = state;
    m_changed.notify_all();
  }

  void OnFail(websocketpp::connection_hdl handle) {
    Client::connection_ptr connection = m_client.get_con_from_hdl(handle);
    const int status = static_cast<int>(connection->get_response_code());
    std::string what = "connection to port " + PortText(m_options.port) +
                       " failed: " + connection->get_ec().message();
    if (status != 0) what += " (HTTP " + std::to_string(status) + ")";
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failure = std::move(what);
    m_httpStatus = status;
    m_state = State::Failed;
    m_changed.notify_all();
  }

  void OnClose(websocketpp::connection_hdl handle) {
    Client::connection_ptr connection = m_client.get_con_from_hdl(handle);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed =
        CloseInfo{connection->get_remote_close_code(), connection->get_remote_close_reason()};
    m_changed.notify_all();
  }

  // Ends the connection without a closing handshake.
  void Abort() {
    Client::connection_ptr connection = m_client.get_con_from_hdl(m_handle, m_ignored);
    if (connection) connection->terminate(m_ignored);
  }

  const ClientOptions m_options;
  Client m_client;
  websocketpp::connection_hdl m_handle;
  websocketpp::lib::error_code m_ignored;
  std::thread m_thread;

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  State m_state = State::Connecting;
  std::string m_failure;
  int m_httpStatus = 0;
  std::deque<std::string> m_messages;
  std::optional<CloseInfo> m_closed;
  unsigned m_pongs = 0;
};

CWssClient::CWssClient(ClientOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {
  m_impl->Connect();
}

CWssClient::~CWssClient() = default;

void CWssClient::SendText(const std::string& text) {
  m_impl->Send(text, websocketpp::frame::opcode::text);
}

void CWssClient::SendBinary(const std::string& bytes) {
  m_impl->Send(bytes, websocketpp::frame::opcode::binary);
}

std::optional<std::string> CWssClient::Receive(std::chrono::milliseconds timeout) {
  return m_impl->Receive(timeout);
}

std::string CWssClient::Request(const std::string& json) {
  SendText(json);
  std::optional<std::string> reply = Receive(m_impl->Options().timeout);
  if (reply) return *std::move(reply);
  if (const auto closed = Closed()) {
    throw std::runtime_error("closed: " + std::to_string(closed->code) + " " + closed->reason);
  }
  throw std::runtime_error("no reply within the time-out");
}

std::optional<CloseInfo> CWssClient::Closed() const { return m_impl->Closed(); }

CloseInfo CWssClient::WaitClosed(std::chrono::milliseconds timeout) {
  const std::optional<CloseInfo> closed = m_impl->WaitClosed(timeout);
  if (!closed) throw std::runtime_error("the connection is still open");
  return *closed;
}

void CWssClient::Close() { m_impl->Close(); }

std::uint16_t CWssClient::Port() const { return m_impl->Port(); }

bool CWssClient::Ping(std::chrono::milliseconds timeout) { return m_impl->Ping(timeout); }

std::unique_ptr<CWssClient> ConnectFirst(const std::vector<std::uint16_t>& ports,
                                         ClientOptions options) {
  if (ports.empty()) throw ClientError("no port to connect to", 0);
  for (std::size_t i = 0;; ++i) {
    options.port = ports[i];
    try {
      return std::make_unique<CWssClient>(options);
    } catch (const ClientError&) {
      if (i + 1 == ports.size()) throw;
    }
  }
}

}  // namespace qvx::client
