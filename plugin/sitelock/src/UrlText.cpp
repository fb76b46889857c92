// The scheme as written and the user information, read from the URL text.
#include "UrlText.h"

namespace qvx::brixon {
namespace {

OLECHAR Lower(OLECHAR c) {
  return c >= OLESTR('A') && c <= OLESTR('Z') ? static_cast<OLECHAR>(c - OLESTR('A') + OLESTR('a'))
                                              : c;
}

bool IsSlash(OLECHAR c) { return c == OLESTR('/') || c == OLESTR('\\'); }

}  // namespace

bool TakeSchemeAsWritten(LPCOLESTR url, OLECHAR* scheme) {
  std::size_t n = 0;
  for (; scheme[n] != 0; ++n) {
    if (url[n] == 0 || Lower(url[n]) != Lower(scheme[n])) {
      return false;
    }
  }
  if (url[n] != OLESTR(':')) {
    return false;
  }
  for (std::size_t i = 0; i < n; ++i) {
    scheme[i] = url[i];
  }
  return true;
}

bool AuthorityHasUserInfo(LPCOLESTR url) {
  std::size_t i = 0;
  while (url[i] != 0 && url[i] != OLESTR(':')) {
    ++i;
  }
  if (url[i] == 0) {
    return false;
  }
  ++i;
  while (IsSlash(url[i])) {
    ++i;
  }
  for (; url[i] != 0 && !IsSlash(url[i]) && url[i] != OLESTR('?') && url[i] != OLESTR('#'); ++i) {
    if (url[i] == OLESTR('@')) {
      return true;
    }
  }
  return false;
}

}  // namespace qvx::brixon
