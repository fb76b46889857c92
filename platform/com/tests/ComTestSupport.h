// Values the COM tests build their calls from.
#pragma once

#include "platform/com/Variant.h"

namespace qvx::testing {

// A VT_BSTR VARIANT with a copy of `s`; the test clears it.
inline platform::VARIANT Text(const char16_t* s) {
  platform::VARIANT v;
  platform::VariantInit(&v);
  v.vt = platform::VT_BSTR;
  v.bstrVal = platform::SysAllocString(s);
  return v;
}

}  // namespace qvx::testing
