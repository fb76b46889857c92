// The certificate chain and key a handshake presents, read from the PEM
// file; the parsed result is kept while the file stays the same file with
// the same contents, so the key is not decrypted again for every
// connection.
#pragma once

#include <openssl/ssl.h>

#include <string>

namespace qvx::endpoint {

// Puts the chain and key of the file at path on ssl. False with a reason
// when the file cannot be read, parsed or decrypted, or its key does not
// belong to its certificate.
bool UsePemFile(SSL* ssl, const std::string& path, const std::string& passPhrase,
                std::string& reason);

}  // namespace qvx::endpoint
