#include "endpoint/TlsContext.h"

#include <limits.h>

#include <exception>
#include <utility>

#include <openssl/ssl.h>

#include "HandshakePem.h"
#include "platform/Module.h"
#include "platform/System.h"

namespace qvx::endpoint {

std::string ProgramDirectory() {
  char buffer[PATH_MAX];
  if (GetModuleFileName(nullptr, buffer, sizeof buffer) == 0) return ".";
  const std::string path(buffer);
  const std::size_t slash = path.rfind(platform::kPathSeparator);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string(1, platform::kPathSeparator) : path.substr(0, slash);
}

std::string PemPassPhrase() {
  std::string phrase;
  for (const char* piece : {"Qv", "x2", "-B", "rw", "s#", "70", "41", "!k"}) phrase += piece;
  return phrase;
}

namespace {

// A context with what its handshake reads the PEM file from.
struct CContextWithSource {
  explicit CContextWithSource(std::string pemPath, std::string logFile)
      : context(boost::asio::ssl::context::tlsv12),
        path(std::move(pemPath)),
        logFileName(std::move(logFile)) {}
  boost::asio::ssl::context context;
  const std::string path;
  const std::string logFileName;
};

// Runs in the handshake, when the client's hello has arrived: the file is
// looked at for exactly this connection, so a replaced or removed file takes
// effect with the next handshake. Failing here fails that handshake only.
int LoadPemForHandshake(SSL* ssl, void* argument) {
  const auto& source = *static_cast<const CContextWithSource*>(argument);
  std::string reason;
  if (UsePemFile(ssl, source.path, PemPassPhrase(), reason)) return 1;
  CLog log;
  log.SetFileName(source.logFileName);
  log.Append(CReport(kStatusSuccess, LEVEL_ERROR, "", "[WSS] Error loading PEM file. (Message: %s)",
                     reason.c_str()));
  return 0;
}

}  // namespace

std::shared_ptr<boost::asio::ssl::context> MakeTlsContext(const std::string& pemDirectory,
                                                          CLog& log) {
  namespace ssl = boost::asio::ssl;
  // tlsv12 pins both the lowest and highest version to 1.2.
  auto holder = std::make_shared<CContextWithSource>(
      pemDirectory + platform::kPathSeparator + kPemFileName, log.GetFileName());
  ssl::context& context = holder->context;
  // Named options only: the bit values of the old workaround word mean
  // other things in current OpenSSL (among them no extended master secret
  // and client-started renegotiation).
  context.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                      ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                      ssl::context::no_tlsv1_3 | ssl::context::single_dh_use);
  SSL_CTX_set_cert_cb(context.native_handle(), &LoadPemForHandshake, holder.get());
  return std::shared_ptr<ssl::context>(holder, &holder->context);
}

}  // namespace qvx::endpoint
