#include "endpoint/TlsContext.h"

#include <unistd.h>

#include <array>
#include <exception>

namespace qvx::endpoint {

std::string ProgramDirectory() {
  std::array<char, 4096> buffer{};
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return ".";
  const std::string path(buffer.data(), static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string PemPassPhrase() {
  std::string phrase;
  for (const char* piece : {"Qv", "x2", "-B", "rw", "s#", "70", "41", "!k"}) phrase += piece;
  return phrase;
}

std::shared_ptr<boost::asio::ssl::context> MakeTlsContext(const std::string& pemDirectory,
                                                          CLog& log) {
  namespace ssl = boost::asio::ssl;
  // tlsv12 pins both the lowest and highest version to 1.2.
  auto context = std::make_shared<ssl::context>(ssl::context::tlsv12);
  const std::string path = pemDirectory + "/" + kPemFileName;
  try {
    // Named options only: the bit values of the old workaround word mean
    // other things in current OpenSSL (among them no extended master secret
    // and client-started renegotiation).
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                         ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                         ssl::context::no_tlsv1_1 | ssl::context::no_tlsv1_3 |
                         ssl::context::single_dh_use);
    context->set_password_callback(
        [](std::size_t, ssl::context::password_purpose) { return PemPassPhrase(); });
    context->use_certificate_chain_file(path);
    context->use_private_key_file(path, ssl::context::pem);
  } catch (const std::exception& error) {
    log.Append(CReport(STATUS_SUCCESS, LEVEL_ERROR, "", "[WSS] Error loading PEM file. (Message: %s)",
                       error.what()));
  }
  return context;
}

}  // namespace qvx::endpoint
