// UrlGetPartW of the Linux layer: one component of a URL, with the results
// of the Windows call.
//
// A URL is "scheme:" followed, for hierarchical URLs, by "//" and an
// authority "[user[:password]@]host[:port]" that ends at the first "/",
// "\", "?" or "#" (a backslash ends it as in browsers, so
// "https://a.example\.b.example" has the host "a.example"). The user
// information ends at the last "@" of the authority; a host in brackets
// (an IPv6 literal) keeps them. Nothing is decoded or case-folded.
#pragma once

#include "platform/com/os/ComTypes.h"

namespace platform {

constexpr DWORD URL_PART_NONE = 0;
constexpr DWORD URL_PART_SCHEME = 1;
constexpr DWORD URL_PART_HOSTNAME = 2;
constexpr DWORD URL_PART_USERNAME = 3;
constexpr DWORD URL_PART_PASSWORD = 4;
constexpr DWORD URL_PART_PORT = 5;
constexpr DWORD URL_PART_QUERY = 6;

// `*size` is the capacity of `out` in characters including the terminator.
// - S_OK: the part and its terminator are in `out`, *size = its length.
// - S_FALSE: the URL has a place for the part but it is empty (out = "",
//   *size = 0).
// - E_POINTER: `out` is too small; *size = the capacity needed.
// - E_FAIL: the URL has no such part (no authority, as in "about:blank").
// - E_INVALIDARG: a null pointer, *size of 0, `flags` other than 0, or a
//   URL without a scheme (letters, digits, "+", "-", "." after a letter,
//   at least two characters, so "c:\x" is no URL).
HRESULT UrlGetPartW(LPCOLESTR url, LPOLESTR out, DWORD* size, DWORD part, DWORD flags);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::URL_PART_HOSTNAME;
using platform::URL_PART_NONE;
using platform::URL_PART_PASSWORD;
using platform::URL_PART_PORT;
using platform::URL_PART_QUERY;
using platform::URL_PART_SCHEME;
using platform::URL_PART_USERNAME;
using platform::UrlGetPartW;
