// Values the COM tests build their calls from.
#pragma once

#include "platform/com/Variant.h"

namespace qvx::testing {

// A VT_BSTR VARIANT with a copy of `s`; the test clears it.
inline platform::VARIANT Text(const platform::OLECHAR* s) {
  platform::VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
  return v;
}

}  // namespace qvx::testing
