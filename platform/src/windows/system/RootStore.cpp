// The local machine's "Root" system store through crypt32.
#include "platform/RootStore.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace platform {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The store's registry part alone, not the system store's collection of
// its parts: Wine keeps a deletion from the collection in memory only.
HCERTSTORE OpenMachineRoot() {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_A, 0, 0,
                       CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, "Root");
}

// Closes the store on every way out, keeping the thread's last error.
class CStore {
 public:
  explicit CStore(HCERTSTORE store) : m_store(store) {}
  ~CStore() {
    if (m_store == nullptr) return;
    const DWORD error = GetLastError();
    CertCloseStore(m_store, 0);
    SetLastError(error);
  }
  CStore(const CStore&) = delete;
  CStore& operator=(const CStore&) = delete;
  HCERTSTORE Get() const { return m_store; }

 private:
  HCERTSTORE m_store;
};

// The subject's common name, or empty.
std::string CommonName(PCCERT_CONTEXT certificate) {
  char name[256] = {};
  CertGetNameStringA(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME),
                     name, sizeof name);
  return name;
}

}  // namespace

bool AddMachineRoot(const std::string& pem) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            nullptr, &size, nullptr, nullptr)) {
    return false;
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                            der.data(), &size, nullptr, nullptr)) {
    return false;
  }
  CStore store(OpenMachineRoot());
  if (store.Get() == nullptr) return false;
  return CertAddEncodedCertificateToStore(store.Get(), kEncoding, der.data(), size,
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
}

bool RemoveMachineRoots(const std::string& commonName) {
  CStore store(OpenMachineRoot());
  if (store.Get() == nullptr) return false;
  // Deleting frees the context the walk stands on, so each deletion starts
  // the walk again.
  for (;;) {
    PCCERT_CONTEXT found = nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(store.Get(), certificate)) != nullptr) {
      if (CommonName(certificate) == commonName) {
        found = CertDuplicateCertificateContext(certificate);
        CertFreeCertificateContext(certificate);
        break;
      }
    }
    if (found == nullptr) return true;
    if (!CertDeleteCertificateFromStore(found)) return false;
  }
}

}  // namespace platform
