// The outer object of aggregation tests: it answers IUnknown itself, hands
// every other interface to the inner object it holds, and counts the
// references the inner object delegates to it (it is never freed, so a
// test reads the count at the end).
#pragma once

#include "platform/com/Unknown.h"

namespace qvx::testing {

class COuter final : public platform::IUnknown {
 public:
  platform::HRESULT QueryInterface(platform::REFIID riid, void** object) override {
    if (riid == platform::IID_IUnknown) {
      *object = this;
      AddRef();
      return platform::S_OK;
    }
    return inner != nullptr ? inner->QueryInterface(riid, object) : platform::E_NOINTERFACE;
  }
  platform::ULONG AddRef() override { return ++references; }
  platform::ULONG Release() override { return --references; }

  platform::ULONG references = 1;
  IUnknown* inner = nullptr;
};

}  // namespace qvx::testing
