// VariantChangeType for the scalar types of script calls.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/com/Variant.h"

namespace platform {
namespace {

// A source with VT_BYREF taken away (BSTRs stay borrowed).
HRESULT Dereference(const VARIANTARG* source, VARIANT* plain) {
  *plain = *source;
  for (int depth = 0; (plain->vt & VT_BYREF) != 0; ++depth) {
    if (plain->byref == nullptr || depth == 2) {
      return DISP_E_TYPEMISMATCH;
    }
    const VARTYPE base = static_cast<VARTYPE>(plain->vt & ~VT_BYREF);
    switch (base) {
      case VT_VARIANT:
        *plain = *plain->pvarVal;
        continue;
      case VT_I2:
        plain->iVal = *plain->piVal;
        break;
      case VT_I4:
        plain->lVal = *plain->plVal;
        break;
      case VT_UI2:
        plain->uiVal = *plain->puiVal;
        break;
      case VT_R8:
        plain->dblVal = *plain->pdblVal;
        break;
      case VT_BOOL:
        plain->boolVal = *plain->pboolVal;
        break;
      case VT_BSTR:
        plain->bstrVal = *plain->pbstrVal;
        break;
      default:
        return DISP_E_TYPEMISMATCH;
    }
    plain->vt = base;
  }
  return S_OK;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Optional blanks, a sign, digits with an optional fraction, blanks.
HRESULT ParseNumber(BSTR text, double* value) {
  const std::size_t length = SysStringLen(text);
  std::size_t begin = 0;
  std::size_t end = length;
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  std::string ascii;
  bool digits = false;
  bool point = false;
  for (std::size_t i = begin; i < end; ++i) {
    const char16_t c = text[i];
    if (c >= u'0' && c <= u'9') {
      digits = true;
    } else if (c == u'.' && !point) {
      point = true;
    } else if (!((c == u'-' || c == u'+') && i == begin)) {
      return DISP_E_TYPEMISMATCH;
    }
    ascii += static_cast<char>(c);
  }
  if (!digits) {
    return DISP_E_TYPEMISMATCH;
  }
  const char* first = ascii.data();
  if (*first == '+') {
    ++first;  // from_chars takes no plus sign
  }
  const auto [rest, error] = std::from_chars(first, ascii.data() + ascii.size(), *value);
  if (error == std::errc::result_out_of_range) {
    return DISP_E_OVERFLOW;
  }
  return error == std::errc() && rest == ascii.data() + ascii.size() ? S_OK : DISP_E_TYPEMISMATCH;
}

bool EqualsIgnoringCase(BSTR text, const char* word) {
  const std::size_t length = SysStringLen(text);
  std::size_t i = 0;
  for (; word[i] != 0; ++i) {
    if (i >= length) {
      return false;
    }
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') {
      c = static_cast<char16_t>(c - u'A' + u'a');
    }
    if (c != static_cast<char16_t>(word[i])) {
      return false;
    }
  }
  return i == length;
}

// The numeric value of a plain source.
HRESULT NumberOf(const VARIANT& source, double* value) {
  switch (source.vt) {
    case VT_EMPTY:
      *value = 0;
      return S_OK;
    case VT_I2:
      *value = source.iVal;
      return S_OK;
    case VT_I4:
      *value = source.lVal;
      return S_OK;
    case VT_UI2:
      *value = source.uiVal;
      return S_OK;
    case VT_R8:
      *value = source.dblVal;
      return S_OK;
    case VT_BOOL:
      *value = source.boolVal != 0 ? -1 : 0;
      return S_OK;
    case VT_BSTR:
      return ParseNumber(source.bstrVal, value);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Rounds half to even and checks the range of the target.
HRESULT ToInteger(double value, double low, double high, double* rounded) {
  if (std::isnan(value)) {
    return DISP_E_OVERFLOW;
  }
  double r = std::floor(value);
  const double fraction = value - r;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2.0) != 0)) {
    r += 1;
  }
  if (r < low || r > high) {
    return DISP_E_OVERFLOW;
  }
  *rounded = r;
  return S_OK;
}

HRESULT ToText(const VARIANT& source, USHORT flags, BSTR* text) {
  std::string narrow;
  switch (source.vt) {
    case VT_EMPTY:
      break;
    case VT_I2:
      narrow = std::to_string(source.iVal);
      break;
    case VT_I4:
      narrow = std::to_string(source.lVal);
      break;
    case VT_UI2:
      narrow = std::to_string(source.uiVal);
      break;
    case VT_BOOL:
      if ((flags & VARIANT_ALPHABOOL) != 0) {
        narrow = source.boolVal != 0 ? "True" : "False";
      } else {
        narrow = source.boolVal != 0 ? "-1" : "0";
      }
      break;
    case VT_R8: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.15G", source.dblVal);
      narrow = buffer;
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
  *text = AnsiToBstr(narrow);  // digits, signs and letters only
  return *text != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT Convert(const VARIANT& source, USHORT flags, VARTYPE type, VARIANT* out) {
  VariantInit(out);
  if (source.vt == VT_NULL || source.vt == VT_ERROR || source.vt == VT_UNKNOWN ||
      source.vt == VT_DISPATCH) {
    return DISP_E_TYPEMISMATCH;
  }
  double value = 0;
  double rounded = 0;
  HRESULT hr = S_OK;
  switch (type) {
    case VT_EMPTY:
      return S_OK;
    case VT_BSTR:
      hr = ToText(source, flags, &out->bstrVal);
      break;
    case VT_BOOL:
      if (source.vt == VT_BSTR && (EqualsIgnoringCase(source.bstrVal, "true") ||
                                   EqualsIgnoringCase(source.bstrVal, "false"))) {
        out->boolVal = EqualsIgnoringCase(source.bstrVal, "true") ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      }
      hr = NumberOf(source, &value);
      out->boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_R8:
      hr = NumberOf(source, &value);
      out->dblVal = value;
      break;
    case VT_I2:
      hr = NumberOf(source, &value);
      if (SUCCEEDED(hr)) {
        hr = ToInteger(value, -32768.0, 32767.0, &rounded);
        out->iVal = static_cast<SHORT>(rounded);
      }
      break;
    case VT_I4:
      hr = NumberOf(source, &value);
      if (SUCCEEDED(hr)) {
        hr = ToInteger(value, -2147483648.0, 2147483647.0, &rounded);
        out->lVal = static_cast<LONG>(rounded);
      }
      break;
    case VT_UI2:
      hr = NumberOf(source, &value);
      if (SUCCEEDED(hr)) {
        hr = ToInteger(value, 0.0, 65535.0, &rounded);
        out->uiVal = static_cast<USHORT>(rounded);
      }
      break;
    default:
      return DISP_E_BADVARTYPE;
  }
  if (FAILED(hr)) {
    VariantInit(out);
    return hr;
  }
  out->vt = type;
  return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANTARG* destination, const VARIANTARG* source, USHORT flags,
                          VARTYPE type) {
  if (destination == nullptr || source == nullptr) {
    return E_INVALIDARG;
  }
  VARIANT plain;
  HRESULT hr = Dereference(source, &plain);
  if (FAILED(hr)) {
    return hr;
  }
  VARIANT result;
  if (plain.vt == type) {
    VariantInit(&result);
    hr = VariantCopy(&result, &plain);  // plain borrows; the copy owns
  } else {
    hr = Convert(plain, flags, type, &result);
  }
  if (FAILED(hr)) {
    return hr;
  }
  // Clearing the destination may free the source (in-place change), which
  // is why the result is complete before this.
  hr = VariantClear(destination);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *destination = result;
  return S_OK;
}

}  // namespace platform
