// The WebSocket++ asio client transport, able to connect from a chosen local
// address. The library's own connect closes the socket before each attempt
// (asio's range connect), so a socket bound beforehand would lose its
// binding; this transport opens, binds and connects the socket itself when a
// source address is set, and leaves everything else to the library.
#pragma once

#include <string>
#include <websocketpp/config/asio_client.hpp>

namespace qvx::client {

template <typename Config>
class CBindingTransport : public websocketpp::transport::asio::endpoint<Config> {
  using Base = websocketpp::transport::asio::endpoint<Config>;

 public:
  // Empty: the library's own connect, from any address.
  void SetSourceAddress(std::string address) { m_sourceAddress = std::move(address); }

 protected:
  using connect_handler = websocketpp::transport::connect_handler;
  using typename Base::timer_ptr;
  using typename Base::transport_con_ptr;

  void async_connect(transport_con_ptr tcon, websocketpp::uri_ptr uri, connect_handler callback) {
    if (m_sourceAddress.empty()) {
      Base::async_connect(tcon, uri, callback);
      return;
    }
    namespace asio = websocketpp::lib::asio;
    namespace placeholders = websocketpp::lib::placeholders;
    tcon->set_uri(uri);
    asio::error_code error;
    asio::ip::tcp::resolver resolver(this->get_io_service());
    const auto results = resolver.resolve(uri->get_host(), uri->get_port_str(), error);
    auto& socket = tcon->get_raw_socket();
    if (!error && results.empty()) error = asio::error::host_not_found;
    const asio::ip::tcp::endpoint target = error ? asio::ip::tcp::endpoint() : *results.begin();
    if (!error) socket.open(target.protocol(), error);
    if (!error) {
      const auto local = asio::ip::make_address(m_sourceAddress, error);
      if (!error) socket.bind(asio::ip::tcp::endpoint(local, 0), error);
    }
    if (error) {
      callback(Base::socket_con_type::translate_ec(error));
      return;
    }
    // Time-out and completion as the library's own connect handles them.
    timer_ptr timer;
    timer = tcon->set_timer(Config::timeout_connect,
                            websocketpp::lib::bind(&CBindingTransport::handle_connect_timeout, this,
                                                   tcon, timer, callback, placeholders::_1));
    socket.async_connect(target, tcon->get_strand()->wrap(websocketpp::lib::bind(
                                     &CBindingTransport::handle_connect, this, tcon, timer,
                                     callback, placeholders::_1)));
  }

 private:
  std::string m_sourceAddress;
};

// The library's TLS client configuration on the transport above.
struct ClientConfig : public websocketpp::config::asio_tls_client {
  using type = ClientConfig;
  using transport_type = CBindingTransport<asio_tls_client::transport_config>;
};

}  // namespace qvx::client
