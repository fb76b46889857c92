// Values the COM tests build their calls from.
#pragma once

#include <memory>

#include "platform/com/Bstr.h"
#include "platform/com/Variant.h"

namespace qvx::testing {

// A BSTR the test owns: freed with SysFreeString.
struct BstrDeleter {
  void operator()(platform::OLECHAR* s) const { SysFreeString(s); }
};
using Bstr = std::unique_ptr<platform::OLECHAR, BstrDeleter>;

// A VT_BSTR VARIANT with a copy of `s`; the test clears it.
inline platform::VARIANT Text(const platform::OLECHAR* s) {
  platform::VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s);
  return v;
}

}  // namespace qvx::testing
