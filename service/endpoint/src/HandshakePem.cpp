#include "HandshakePem.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <openssl/err.h>
#include <openssl/pem.h>

#include "platform/File.h"

namespace qvx::endpoint {

namespace {

struct X509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using CertPtr = std::unique_ptr<X509, X509Free>;

// What identifies one version of the file: a replaced, rewritten or touched
// file differs in it.
using FileIdentity = platform::FileStamp;

struct Loaded {
  FileIdentity identity;
  std::vector<CertPtr> chain;  // leaf first
  std::unique_ptr<EVP_PKEY, KeyFree> key;
};

std::string LastOpenSslReason(const char* fallback) {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  return reason != nullptr ? reason : fallback;
}

int PassPhraseCallback(char* buffer, int size, int, void* argument) {
  const auto& phrase = *static_cast<const std::string*>(argument);
  if (phrase.size() > static_cast<std::size_t>(size)) return -1;
  phrase.copy(buffer, phrase.size());
  return static_cast<int>(phrase.size());
}

std::shared_ptr<const Loaded> Parse(const std::string& path, const FileIdentity& identity,
                                    const std::string& passPhrase, std::string& reason) {
  auto loaded = std::make_shared<Loaded>();
  loaded->identity = identity;
  std::unique_ptr<BIO, BioFree> file(BIO_new_file(path.c_str(), "r"));
  if (!file) {
    reason = LastOpenSslReason("cannot open the file");
    return nullptr;
  }
  for (X509* cert; (cert = PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr)) != nullptr;) {
    loaded->chain.emplace_back(cert);
  }
  ERR_clear_error();  // the loop ends on the first block that is no certificate
  if (loaded->chain.empty()) {
    reason = "no certificate";
    return nullptr;
  }
  if (BIO_reset(file.get()) != 0) {
    reason = LastOpenSslReason("cannot read the file again");
    return nullptr;
  }
  loaded->key.reset(PEM_read_bio_PrivateKey(file.get(), nullptr, &PassPhraseCallback,
                                            const_cast<std::string*>(&passPhrase)));
  if (!loaded->key) {
    reason = LastOpenSslReason("no private key");
    return nullptr;
  }
  return loaded;
}

std::mutex gCacheMutex;
std::map<std::string, std::shared_ptr<const Loaded>> gCache;  // by path

}  // namespace

bool UsePemFile(SSL* ssl, const std::string& path, const std::string& passPhrase,
                std::string& reason) {
  FileIdentity identity;
  if (!platform::GetFileStamp(path.c_str(), &identity)) {
    reason = "cannot open the file";
    return false;
  }

  std::shared_ptr<const Loaded> loaded;
  {
    std::lock_guard<std::mutex> lock(gCacheMutex);
    const auto found = gCache.find(path);
    if (found != gCache.end() && found->second->identity == identity) loaded = found->second;
  }
  if (!loaded) {
    // Read as seen after the stat: a file replaced meanwhile is read again
    // by the next handshake, since its identity will differ.
    loaded = Parse(path, identity, passPhrase, reason);
    if (!loaded) return false;
    std::lock_guard<std::mutex> lock(gCacheMutex);
    gCache[path] = loaded;
  }

  bool ok = SSL_use_certificate(ssl, loaded->chain.front().get()) == 1 &&
            SSL_use_PrivateKey(ssl, loaded->key.get()) == 1 && SSL_check_private_key(ssl) == 1;
  for (std::size_t i = 1; ok && i < loaded->chain.size(); ++i) {
    ok = SSL_add1_chain_cert(ssl, loaded->chain[i].get()) == 1;
  }
  if (!ok) reason = LastOpenSslReason("the key does not belong to the certificate");
  return ok;
}

}  // namespace qvx::endpoint
