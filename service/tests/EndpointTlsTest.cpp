// The per-connection TLS context against real OpenSSL clients: TLS 1.2 is
// served with the PEM's certificate, every other version is refused, and a
// missing PEM is logged and fails only that handshake.
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "PrivateDir.h"
#include "command/Log.h"
#include "endpoint/TlsContext.h"
#include "host/MachineKey.h"

namespace {

namespace asio = boost::asio;
using ContextFactory = std::function<std::shared_ptr<asio::ssl::context>()>;

// Accepts one connection on 127.0.0.1 (a port of the system's choosing) and
// runs the server side of the TLS handshake with a context from the factory.
class OneShotTlsServer {
 public:
  explicit OneShotTlsServer(ContextFactory factory)
      : m_acceptor(m_io, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)),
        m_factory(std::move(factory)) {
    m_thread = std::thread([this] { Serve(); });
  }
  ~OneShotTlsServer() {
    if (m_thread.joinable()) m_thread.join();
  }
  OneShotTlsServer(const OneShotTlsServer&) = delete;
  OneShotTlsServer& operator=(const OneShotTlsServer&) = delete;

  unsigned short Port() const { return m_acceptor.local_endpoint().port(); }

  // Waits for the handshake to end; the error it ended with.
  boost::system::error_code Result() {
    if (m_thread.joinable()) m_thread.join();
    return m_result;
  }

 private:
  void Serve() {
    asio::ip::tcp::socket socket(m_io);
    m_acceptor.accept(socket, m_result);
    if (m_result) return;
    const auto context = m_factory();
    asio::ssl::stream<asio::ip::tcp::socket> stream(std::move(socket), *context);
    stream.handshake(asio::ssl::stream_base::server, m_result);
    if (!m_result) {
      boost::system::error_code ignored;
      stream.shutdown(ignored);
    }
  }

  asio::io_context m_io;
  asio::ip::tcp::acceptor m_acceptor;
  ContextFactory m_factory;
  boost::system::error_code m_result;
  std::thread m_thread;
};

struct SslCtxFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

struct ClientOutcome {
  bool connected = false;
  int version = 0;          // negotiated protocol version
  std::string peerSubject;  // one-line subject of the server certificate
  std::string peerSerial;   // its serial number in hexadecimal
};

// A client that speaks exactly one protocol version.
ClientOutcome Handshake(unsigned short port, int version) {
  ClientOutcome outcome;
  std::unique_ptr<SSL_CTX, SslCtxFree> context(SSL_CTX_new(TLS_client_method()));
  if (!context) return outcome;
  SSL_CTX_set_min_proto_version(context.get(), version);
  SSL_CTX_set_max_proto_version(context.get(), version);
  // Old versions are off at the default security level; this client must
  // really offer them so that the refusal is the server's.
  SSL_CTX_set_security_level(context.get(), 0);
  SSL_CTX_set_cipher_list(context.get(), "DEFAULT:@SECLEVEL=0");

  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  boost::system::error_code error;
  socket.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), error);
  if (error) return outcome;

  std::unique_ptr<SSL, SslFree> ssl(SSL_new(context.get()));
  // A Windows socket is a handle-sized number that OpenSSL takes as an int.
  SSL_set_fd(ssl.get(), static_cast<int>(socket.native_handle()));
  if (SSL_connect(ssl.get()) == 1) {
    outcome.connected = true;
    outcome.version = SSL_version(ssl.get());
    if (X509* certificate = SSL_get1_peer_certificate(ssl.get())) {
      char subject[256] = {};
      X509_NAME_oneline(X509_get_subject_name(certificate), subject, sizeof subject);
      outcome.peerSubject = subject;
      BIGNUM* serial = ASN1_INTEGER_to_BN(X509_get0_serialNumber(certificate), nullptr);
      char* hex = BN_bn2hex(serial);
      outcome.peerSerial = hex;
      OPENSSL_free(hex);
      BN_free(serial);
      X509_free(certificate);
    }
    SSL_shutdown(ssl.get());
  }
  ERR_clear_error();
  return outcome;
}

class EndpointTls : public ::testing::Test {
 protected:
  void SetUp() override { m_log.SetFileName(m_dir + "/log.txt"); }

  std::string LogText() const {
    std::ifstream file(m_dir + "/log.txt");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  ContextFactory Endpoint(const std::string& pemDirectory) {
    return [this, pemDirectory] { return qvx::endpoint::MakeTlsContext(pemDirectory, m_log); };
  }

  qvx::testing::PrivateDir m_private{"qvx-tls"};
  const std::string m_dir = m_private.Path();
  qvx::CLog m_log;
};

TEST_F(EndpointTls, OnlyTls12IsServed) {
  struct Case {
    const char* name;
    int version;
    bool served;
  };
  const Case cases[] = {
      {"TLS 1.2", TLS1_2_VERSION, true},
      {"TLS 1.0", TLS1_VERSION, false},
      {"TLS 1.1", TLS1_1_VERSION, false},
      {"TLS 1.3", TLS1_3_VERSION, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OneShotTlsServer server(Endpoint(QVX_TEST_PEM_DIR));
    const ClientOutcome client = Handshake(server.Port(), c.version);
    const boost::system::error_code serverResult = server.Result();
    EXPECT_EQ(client.connected, c.served);
    EXPECT_EQ(!serverResult, c.served) << serverResult.message();
    if (c.served) {
      EXPECT_EQ(client.version, c.version);
      EXPECT_NE(client.peerSubject.find("CN=localhost"), std::string::npos) << client.peerSubject;
    } else {
      // Refused in the TLS layer, not by a client that gave up on its own.
      EXPECT_EQ(serverResult.category(), asio::error::get_ssl_category()) << serverResult.message();
    }
  }
  EXPECT_EQ(LogText().find("Error loading PEM file"), std::string::npos) << LogText();
}

// The clients above are able to speak the versions that the endpoint
// refuses: a server that allows every version serves them.
TEST_F(EndpointTls, RefusedClientsWorkWithAPermissiveServer) {
  const std::string pem = std::string(QVX_TEST_PEM_DIR) + "/brixwssvr.pem";
  const ContextFactory permissive = [pem] {
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    SSL_CTX_set_min_proto_version(context->native_handle(), TLS1_VERSION);
    SSL_CTX_set_security_level(context->native_handle(), 0);
    SSL_CTX_set_cipher_list(context->native_handle(), "DEFAULT:@SECLEVEL=0");
    context->set_password_callback([](std::size_t, asio::ssl::context::password_purpose) {
      return qvx::endpoint::PemPassPhrase();
    });
    context->use_certificate_chain_file(pem);
    context->use_private_key_file(pem, asio::ssl::context::pem);
    return context;
  };
  for (const int version : {TLS1_1_VERSION, TLS1_3_VERSION}) {
    SCOPED_TRACE(version);
    OneShotTlsServer server(permissive);
    const ClientOutcome client = Handshake(server.Port(), version);
    EXPECT_FALSE(server.Result());
    EXPECT_TRUE(client.connected);
    EXPECT_EQ(client.version, version);
  }
}

TEST_F(EndpointTls, MissingPemIsLoggedAndFailsThatHandshakeOnly) {
  {
    OneShotTlsServer server(Endpoint(m_dir));  // no brixwssvr.pem there
    EXPECT_FALSE(Handshake(server.Port(), TLS1_2_VERSION).connected);
    EXPECT_TRUE(server.Result());
  }
  EXPECT_NE(LogText().find(" [ERR] [WSS] Error loading PEM file. (Message: "), std::string::npos)
      << LogText();

  // The file is read again for every connection: putting it in place
  // restores service.
  std::filesystem::copy_file(std::string(QVX_TEST_PEM_DIR) + "/brixwssvr.pem",
                             m_dir + "/brixwssvr.pem");
  OneShotTlsServer server(Endpoint(m_dir));
  EXPECT_TRUE(Handshake(server.Port(), TLS1_2_VERSION).connected);
  EXPECT_FALSE(server.Result());
}

// The parsed file is reused only while it is the same file with the same
// contents: rewriting it in place is seen by the next handshake.
TEST_F(EndpointTls, RewrittenPemIsPresentedByTheNextHandshake) {
  const std::string pem = m_dir + "/brixwssvr.pem";
  const std::string other = m_dir + "/other.pem";
  ASSERT_TRUE(qvx::host::EnsureMachineKey(other, qvx::endpoint::PemPassPhrase()));
  auto serialWith = [&](const std::string& source) {
    if (!source.empty()) {
      std::ifstream in(source, std::ios::binary);
      std::ofstream(pem, std::ios::binary | std::ios::trunc) << in.rdbuf();  // same inode
    }
    OneShotTlsServer server(Endpoint(m_dir));
    return Handshake(server.Port(), TLS1_2_VERSION);
  };
  const ClientOutcome first = serialWith(std::string(QVX_TEST_PEM_DIR) + "/brixwssvr.pem");
  const ClientOutcome second = serialWith(other);
  const ClientOutcome third = serialWith("");
  ASSERT_TRUE(first.connected && second.connected && third.connected);
  EXPECT_NE(second.peerSerial, first.peerSerial);
  EXPECT_EQ(third.peerSerial, second.peerSerial);

  std::ofstream(pem, std::ios::trunc) << "-----BEGIN CERTIFICATE-----\nnot base64\n";
  EXPECT_FALSE(serialWith("").connected);
  EXPECT_NE(LogText().find("[WSS] Error loading PEM file. (Message: "), std::string::npos);
}

TEST_F(EndpointTls, ContextOptions) {
  const auto context = qvx::endpoint::MakeTlsContext(QVX_TEST_PEM_DIR, m_log);
  SSL_CTX* const handle = context->native_handle();
  EXPECT_EQ(SSL_CTX_get_min_proto_version(handle), TLS1_2_VERSION);
  EXPECT_EQ(SSL_CTX_get_max_proto_version(handle), TLS1_2_VERSION);

  struct Option {
    const char* name;
    std::uint64_t bit;
    bool set;
  };
  const Option options[] = {
      {"no SSLv3", SSL_OP_NO_SSLv3, true},
      {"no TLSv1", SSL_OP_NO_TLSv1, true},
      {"no TLSv1.1", SSL_OP_NO_TLSv1_1, true},
      {"no TLSv1.3", SSL_OP_NO_TLSv1_3, true},
      // Bits an old raw option word would set under their new meanings.
      {"extended master secret off", SSL_OP_NO_EXTENDED_MASTER_SECRET, false},
      {"client renegotiation on", SSL_OP_ALLOW_CLIENT_RENEGOTIATION, false},
      {"plaintext cleansing", SSL_OP_CLEANSE_PLAINTEXT, false},
  };
  const std::uint64_t word = SSL_CTX_get_options(handle);
  for (const Option& option : options) {
    SCOPED_TRACE(option.name);
    EXPECT_EQ((word & option.bit) != 0, option.set);
  }
}

}  // namespace
