// URL parts and host normalisation for the site lock.
#include "brixon/SiteLock.h"
#include "platform/com/Idn.h"
#include "platform/com/Url.h"

namespace qvx::brixon {
namespace {

bool IsWebScheme(const OLECHAR* scheme) {
  auto same = [scheme](const OLECHAR* name) {
    std::size_t i = 0;
    for (; name[i] != 0; ++i) {
      OLECHAR c = scheme[i];
      if (c >= OLESTR('A') && c <= OLESTR('Z')) {
        c = static_cast<OLECHAR>(c - OLESTR('A') + OLESTR('a'));
      }
      if (c != name[i]) {
        return false;
      }
    }
    return scheme[i] == 0;
  };
  return same(OLESTR("http")) || same(OLESTR("https"));
}

// True only when the part is known to be empty; a part that cannot be
// read counts as present, so an unreadable URL is refused.
bool PartIsEmpty(LPCOLESTR url, DWORD part) {
  OLECHAR probe[1] = {OLESTR('#')};
  DWORD size = 1;
  const HRESULT hr = UrlGetPartW(url, probe, &size, part, 0);
  return (hr == S_OK || hr == S_FALSE) && probe[0] == 0;
}

}  // namespace

HRESULT CSiteLock::SplitUrl(LPCOLESTR url, OLECHAR* scheme, OLECHAR* host) {
  if (url == nullptr || scheme == nullptr || host == nullptr) {
    return E_POINTER;
  }
  DWORD size = kSchemeCapacity;
  if (FAILED(UrlGetPartW(url, scheme, &size, URL_PART_SCHEME, 0))) {
    return E_FAIL;
  }
  size = kHostCapacity;
  if (FAILED(UrlGetPartW(url, host, &size, URL_PART_HOSTNAME, 0))) {
    host[0] = 0;
  }
  if (IsWebScheme(scheme) &&
      (!PartIsEmpty(url, URL_PART_USERNAME) || !PartIsEmpty(url, URL_PART_PASSWORD))) {
    return E_FAIL;
  }
  return NormalizeHost(host, kHostCapacity);
}

HRESULT CSiteLock::NormalizeHost(OLECHAR* host, DWORD capacity) {
  if (host == nullptr) {
    return E_POINTER;
  }
  std::size_t length = 0;
  bool ascii = true;
  for (; length < capacity && host[length] != 0; ++length) {
    ascii = ascii && host[length] < 0x80;
  }
  if (ascii) {
    return S_OK;
  }
  if (length >= capacity) {
    return E_FAIL;  // not terminated inside its buffer
  }
  // Windows loads normaliz.dll for IdnToAscii here (older systems lack
  // it); on Linux the platform layer has it built in.
  OLECHAR converted[kHostCapacity];
  const int written = IdnToAscii(IDN_USE_STD3_ASCII_RULES, host, static_cast<int>(length),
                                 converted, static_cast<int>(kHostCapacity));
  if (written <= 0) {
    const DWORD error = GetLastError();
    // A failure must never read as success, whatever the last error says.
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  if (static_cast<DWORD>(written) >= kHostCapacity || static_cast<DWORD>(written) >= capacity) {
    return E_OUTOFMEMORY;
  }
  for (int i = 0; i < written; ++i) {
    host[i] = converted[i];
  }
  host[written] = 0;
  return S_OK;
}

}  // namespace qvx::brixon
