#include "host/MachineKey.h"

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "platform/File.h"
#include "platform/WinTypes.h"

namespace qvx::host {

namespace {

constexpr long kValidDays = 3650;

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* object) const { Free(object); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;
void FreeBio(BIO* bio) { BIO_free_all(bio); }
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, FreeBio>>;

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  ExtPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
  return extension != nullptr && X509_add_ext(cert, extension.get(), -1) == 1;
}

// Version 3, a random positive serial number, valid from now, named CN=name.
CertPtr NewCertificate(const char* commonName, EVP_PKEY* key) {
  CertPtr cert(X509_new());
  if (!cert) return nullptr;
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) return nullptr;
  serial[0] &= 0x7F;
  std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>> number(
      BN_bin2bn(serial, sizeof serial, nullptr));
  X509_NAME* name = X509_get_subject_name(cert.get());
  const bool ok =
      number != nullptr && X509_set_version(cert.get(), 2) == 1 &&
      BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(cert.get())) != nullptr &&
      X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr &&
      X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValidDays * 24 * 3600) != nullptr &&
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                 0) == 1 &&
      X509_set_pubkey(cert.get(), key) == 1;
  return ok ? std::move(cert) : nullptr;
}

// Browsers trust an added root, not an added server certificate (Chromium's
// policy and Firefox's both install authorities), so the machine gets a
// root of its own. It can vouch for the two loopback names only, and its
// key is signed with once and dropped: nobody can issue anything else under
// it, not even root on this machine later.
CertPtr LocalRoot(EVP_PKEY* rootKey) {
  CertPtr root = NewCertificate(kLocalRootName, rootKey);
  const bool ok =
      root != nullptr && X509_set_issuer_name(root.get(), X509_get_subject_name(root.get())) == 1 &&
      AddExtension(root.get(), root.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0") &&
      AddExtension(root.get(), root.get(), NID_key_usage, "critical,keyCertSign,cRLSign") &&
      AddExtension(root.get(), root.get(), NID_name_constraints,
                   "critical,permitted;DNS:localhost,permitted;IP:127.0.0.1/255.255.255.255") &&
      AddExtension(root.get(), root.get(), NID_subject_key_identifier, "hash") &&
      X509_sign(root.get(), rootKey, EVP_sha256()) > 0;
  return ok ? std::move(root) : nullptr;
}

CertPtr ServerCertificate(EVP_PKEY* key, X509* root, EVP_PKEY* rootKey) {
  CertPtr cert = NewCertificate("localhost", key);
  const bool ok =
      cert != nullptr && X509_set_issuer_name(cert.get(), X509_get_subject_name(root)) == 1 &&
      AddExtension(cert.get(), root, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
      AddExtension(cert.get(), root, NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(cert.get(), root, NID_key_usage, "critical,digitalSignature") &&
      AddExtension(cert.get(), root, NID_ext_key_usage, "serverAuth") &&
      AddExtension(cert.get(), root, NID_authority_key_identifier, "keyid") &&
      X509_sign(cert.get(), rootKey, EVP_sha256()) > 0;
  return ok ? std::move(cert) : nullptr;
}

std::string PemText(EVP_PKEY* key, X509* cert, X509* root, const std::string& passPhrase) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1 ||
      PEM_write_bio_X509(bio.get(), root) != 1 ||
      PEM_write_bio_PKCS8PrivateKey(bio.get(), key, EVP_aes_256_cbc(), passPhrase.data(),
                                    static_cast<int>(passPhrase.size()), nullptr, nullptr) != 1) {
    return {};
  }
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

bool EnsureMachineKey(const std::string& path, const std::string& passPhrase) {
  // Root's alone: the service gets it through its unit (its account's
  // read access on Windows), never through the file's mode, whatever the
  // umask. A key from an older installation that others could read is
  // closed too.
  if (platform::RestrictFileToOwner(path.c_str())) return true;
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;

  KeyPtr key(EVP_EC_gen("P-256"));
  CertPtr root;
  CertPtr cert;
  {
    // The root's key lives in this scope only.
    KeyPtr rootKey(EVP_EC_gen("P-256"));
    if (rootKey) root = LocalRoot(rootKey.get());
    if (key && root) cert = ServerCertificate(key.get(), root.get(), rootKey.get());
  }
  const std::string text =
      cert ? PemText(key.get(), cert.get(), root.get(), passPhrase) : std::string();
  if (text.empty()) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  // Never half a file for the endpoint, never a replaced one.
  return platform::WriteNewPrivateFile(path.c_str(), text);
}

std::string LocalRootPem(const std::string& pemText) {
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
  static const std::string kEnd = "-----END CERTIFICATE-----";
  const std::size_t begin = pemText.rfind(kBegin);
  if (begin == std::string::npos) return {};
  const std::size_t end = pemText.find(kEnd, begin);
  if (end == std::string::npos) return {};
  return pemText.substr(begin, end + kEnd.size() - begin) + "\n";
}

}  // namespace qvx::host
