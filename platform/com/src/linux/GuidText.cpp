// The Win32 GUID text calls over the registry form of GuidText.cpp.
#include <string>

#include "platform/com/ComTypes.h"

namespace platform {
namespace {

// The wide text as narrow, for the parser: a character outside ASCII
// becomes one the form never holds, and the text ends at its terminator.
bool Parse(LPCOLESTR text, GUID* guid) {
  if (text == nullptr) {
    return false;
  }
  std::string narrow;
  for (; *text != 0 && narrow.size() <= static_cast<std::size_t>(kGuidStringLength); ++text) {
    narrow += *text < 0x80 ? static_cast<char>(*text) : '\x7F';
  }
  return GuidFromString(narrow.c_str(), guid);
}

}  // namespace

int StringFromGUID2(REFGUID guid, LPOLESTR text, int size) {
  if (text == nullptr || size < kGuidStringLength + 1) {
    return 0;
  }
  const std::string narrow = GuidToString(guid);
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    text[i] = static_cast<OLECHAR>(narrow[i]);
  }
  text[narrow.size()] = 0;
  return kGuidStringLength + 1;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (clsid == nullptr) {
    return E_INVALIDARG;
  }
  return Parse(text, clsid) ? NOERROR : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
  if (iid == nullptr) {
    return E_INVALIDARG;
  }
  return Parse(text, iid) ? NOERROR : E_INVALIDARG;
}

}  // namespace platform
