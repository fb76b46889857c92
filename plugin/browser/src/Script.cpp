#include "browser/Script.h"

#include <vector>

namespace qvx::browser {

using namespace platform;

OleString Utf8ToUtf16(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  OleString wide(static_cast<std::size_t>(size > 0 ? size : 0), u'\0');
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
  return wide;
}

std::string Utf16ToUtf8(const OleString& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
  }
  return narrow;
}

HRESULT CallByName(IDispatch* object, const std::string& member,
                   const std::vector<ScriptArgument>& arguments, VARIANT* result) {
  if (object == nullptr || result == nullptr) return E_POINTER;
  OleString name = Utf8ToUtf16(member);
  LPOLESTR names[] = {name.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;

  // rgvarg holds the arguments last first.
  std::vector<VARIANT> values(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const ScriptArgument& argument = arguments[arguments.size() - 1 - i];
    VariantInit(&values[i]);
    values[i].vt = VT_BSTR;
    if (!argument.null) {
      const OleString text = Utf8ToUtf16(argument.text);
      values[i].bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (values[i].bstrVal == nullptr) hr = E_OUTOFMEMORY;
    }
  }
  if (SUCCEEDED(hr)) {
    DISPPARAMS params{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
    EXCEPINFO exception{};
    UINT argErr = 0;
    VariantInit(result);
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &params, result, &exception, &argErr);
    if (hr == DISP_E_EXCEPTION && FAILED(exception.scode)) hr = exception.scode;
  }
  for (VARIANT& value : values) VariantClear(&value);
  return hr;
}

std::string ScriptText(const VARIANT& value) {
  switch (value.vt) {
    case VT_BSTR:
      return Utf16ToUtf8(OleString(value.bstrVal, SysStringLen(value.bstrVal)));
    case VT_I2:
      return std::to_string(value.iVal);
    case VT_I4:
      return std::to_string(value.lVal);
    default: {
      VARIANT text;
      VariantInit(&text);
      // The system's VariantChangeType takes a non-const source it never writes.
      if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) return {};
      std::string out = ScriptText(text);
      VariantClear(&text);
      return out;
    }
  }
}

}  // namespace qvx::browser
