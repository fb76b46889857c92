// UrlGetPartW: splits a URL into the parts of the Windows call.
#include <string>

#include "platform/com/Url.h"

namespace platform {
namespace {

bool IsAlpha(OLECHAR c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsSchemeChar(OLECHAR c) {
  return IsAlpha(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}
bool EndsAuthority(OLECHAR c) {
  return c == 0 || c == u'/' || c == u'\\' || c == u'?' || c == u'#';
}

struct Span {
  std::size_t begin = 0;
  std::size_t length = 0;
  bool present = false;
};

struct UrlParts {
  Span scheme, user, password, host, port, query;
  bool hierarchical = false;
};

bool Split(const std::u16string& url, UrlParts* parts) {
  std::size_t colon = 0;
  while (colon < url.size() && IsSchemeChar(url[colon])) {
    ++colon;
  }
  if (colon < 2 || colon >= url.size() || url[colon] != u':' || !IsAlpha(url[0])) {
    return false;
  }
  parts->scheme = {0, colon, true};
  std::size_t i = colon + 1;
  if (url.compare(i, 2, u"//") == 0) {
    parts->hierarchical = true;
    const std::size_t start = i + 2;
    std::size_t end = start;
    while (end < url.size() && !EndsAuthority(url[end])) {
      ++end;
    }
    std::size_t hostStart = start;
    const std::size_t at = url.rfind(u'@', end == start ? start : end - 1);
    if (at != std::u16string::npos && at >= start && at < end) {
      std::size_t userEnd = start;
      while (userEnd < at && url[userEnd] != u':') {
        ++userEnd;
      }
      parts->user = {start, userEnd - start, true};
      parts->password =
          userEnd < at ? Span{userEnd + 1, at - userEnd - 1, true} : Span{at, 0, true};
      hostStart = at + 1;
    } else {
      parts->user = {start, 0, true};
      parts->password = {start, 0, true};
    }
    std::size_t hostEnd = hostStart;
    if (hostStart < end && url[hostStart] == u'[') {
      const std::size_t close = url.find(u']', hostStart);
      hostEnd = close != std::u16string::npos && close < end ? close + 1 : end;
    }
    while (hostEnd < end && url[hostEnd] != u':') {
      ++hostEnd;
    }
    parts->host = {hostStart, hostEnd - hostStart, true};
    parts->port = hostEnd < end ? Span{hostEnd + 1, end - hostEnd - 1, true} : Span{end, 0, true};
    i = end;
  }
  // The query runs from the first "?" to the fragment; a "?" inside the
  // fragment starts none.
  std::size_t hash = url.find(u'#', i);
  if (hash == std::u16string::npos) {
    hash = url.size();
  }
  const std::size_t question = url.find(u'?', i);
  if (question < hash) {
    parts->query = {question + 1, hash - question - 1, true};
  } else {
    parts->query = {hash, 0, true};
  }
  return true;
}

}  // namespace

HRESULT UrlGetPartW(LPCOLESTR url, LPOLESTR out, DWORD* size, DWORD part, DWORD flags) {
  if (url == nullptr || out == nullptr || size == nullptr || *size == 0 || flags != 0) {
    return E_INVALIDARG;
  }
  const std::u16string text(url);
  UrlParts parts;
  if (!Split(text, &parts)) {
    return E_INVALIDARG;
  }
  Span span;
  switch (part) {
    case URL_PART_SCHEME:
      span = parts.scheme;
      break;
    case URL_PART_HOSTNAME:
      span = parts.host;
      break;
    case URL_PART_USERNAME:
      span = parts.user;
      break;
    case URL_PART_PASSWORD:
      span = parts.password;
      break;
    case URL_PART_PORT:
      span = parts.port;
      break;
    case URL_PART_QUERY:
      span = parts.query;
      break;
    default:
      return E_INVALIDARG;
  }
  if (!span.present) {
    return E_FAIL;
  }
  if (span.length >= *size) {
    *size = static_cast<DWORD>(span.length + 1);
    return E_POINTER;
  }
  text.copy(out, span.length, span.begin);
  out[span.length] = 0;
  *size = static_cast<DWORD>(span.length);
  return span.length == 0 ? S_FALSE : S_OK;
}

}  // namespace platform
