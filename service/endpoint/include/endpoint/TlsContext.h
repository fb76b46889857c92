// The TLS set-up of one endpoint connection: TLS 1.2 only, certificate chain
// and pass-phrase-protected key from one PEM file.
#pragma once

#include <memory>
#include <string>

#include <boost/asio/ssl/context.hpp>

#include "command/Log.h"

namespace qvx::endpoint {

constexpr const char* kPemFileName = "brixwssvr.pem";

// The directory of the running program, without a trailing slash.
std::string ProgramDirectory();

// The key's pass phrase; put together on each call so the binary holds no
// single copy of it.
std::string PemPassPhrase();

// Builds a fresh context that reads pemDirectory + "/brixwssvr.pem" during
// its handshake, so a replaced or removed file takes effect with the next
// connection. A load failure is logged (to log's file) and fails that one
// handshake; the endpoint keeps running.
std::shared_ptr<boost::asio::ssl::context> MakeTlsContext(const std::string& pemDirectory,
                                                          CLog& log);

}  // namespace qvx::endpoint
