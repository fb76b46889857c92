// URL parts and host normalisation for the site lock.
#include "HostRules.h"
#include "UrlText.h"
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

// True only when the part is known to be empty or missing; a part that
// cannot be read (E_POINTER: it has text) counts as present, so an
// unreadable URL is refused. Windows answers a part the URL lacks with
// E_INVALIDARG and an empty one with S_OK and ""; the Linux layer answers
// both with S_FALSE and "". Reading E_INVALIDARG as missing is safe only
// because the caller has already refused every URL whose authority holds
// an '@'.
bool PartIsEmpty(LPCOLESTR url, DWORD part) {
  OLECHAR probe[1] = {OLESTR('#')};
  DWORD size = 1;
  const HRESULT hr = UrlGetPartW(url, probe, &size, part, 0);
  return ((hr == S_OK || hr == S_FALSE) && probe[0] == 0) || hr == E_INVALIDARG;
}

}  // namespace

HRESULT CSiteLock::SplitUrl(LPCOLESTR url, OLECHAR* scheme, OLECHAR* host) {
  if (url == nullptr || scheme == nullptr || host == nullptr) {
    return E_POINTER;
  }
  DWORD size = kSchemeCapacity;
  // Windows hands the scheme back lower-cased; the table compares it
  // exactly with the URL as written.
  if (FAILED(UrlGetPartW(url, scheme, &size, URL_PART_SCHEME, 0)) ||
      !TakeSchemeAsWritten(url, scheme)) {
    return E_FAIL;
  }
  size = kHostCapacity;
  if (FAILED(UrlGetPartW(url, host, &size, URL_PART_HOSTNAME, 0))) {
    host[0] = 0;
  }
  // User information is found in the text first, so that no answer of the
  // system's call for a missing part can let a user name through.
  if (IsWebScheme(scheme) && (AuthorityHasUserInfo(url) || !PartIsEmpty(url, URL_PART_USERNAME) ||
                              !PartIsEmpty(url, URL_PART_PASSWORD))) {
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
  // STD3 rules are checked here, on the name and on its ASCII form, not
  // asked of IdnToAscii: Wine's refuses every name that needs Punycode
  // under IDN_USE_STD3_ASCII_RULES, and a conversion that dropped a
  // disallowed character would still be caught on the name.
  if (!FollowsStd3Rules(host, length, true)) {
    return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
  }
  OLECHAR converted[kHostCapacity];
  const int written =
      IdnToAscii(0, host, static_cast<int>(length), converted, static_cast<int>(kHostCapacity));
  if (written <= 0) {
    const DWORD error = GetLastError();
    // A failure must never read as success, whatever the last error says.
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  if (static_cast<DWORD>(written) >= kHostCapacity || static_cast<DWORD>(written) >= capacity) {
    return E_OUTOFMEMORY;
  }
  if (!FollowsStd3Rules(converted, static_cast<std::size_t>(written), false)) {
    return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
  }
  for (int i = 0; i < written; ++i) {
    host[i] = converted[i];
  }
  host[written] = 0;
  return S_OK;
}

}  // namespace qvx::brixon
