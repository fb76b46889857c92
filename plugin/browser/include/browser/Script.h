// What a page's script engine does with an object: late-bound calls by
// member name through IDispatch (GetIDsOfNames, then Invoke), arguments
// handed over as script strings.
#pragma once

#include <string>
#include <vector>

#include "platform/com/ComTypes.h"
#include "platform/com/Dispatch.h"

namespace qvx::browser {

// UTF-8 <-> automation strings.
platform::OleString Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const platform::OleString& text);

// One script argument; `null` passes a null BSTR (script's null string).
struct ScriptArgument {
  std::string text;
  bool null = false;
};

// Calls `member` with the arguments in order, as a method or property get
// (as script engines ask when they cannot tell). `result` receives the
// return value (the caller clears it). The HRESULT of GetIDsOfNames or
// Invoke.
platform::HRESULT CallByName(platform::IDispatch* object, const std::string& member,
                             const std::vector<ScriptArgument>& arguments,
                             platform::VARIANT* result);

// The value as script would print it: a string's text, a number in
// decimal, nothing for an empty value.
std::string ScriptText(const platform::VARIANT& value);

}  // namespace qvx::browser
