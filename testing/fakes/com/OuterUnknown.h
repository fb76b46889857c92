// The outer object of aggregation tests: it answers IUnknown itself, hands
// every other interface to the inner object it holds, and counts the
// references the inner object delegates to it (it is never freed, so a
// test reads the count at the end).
#pragma once

#include <gtest/gtest.h>

#include "platform/com/Unknown.h"

namespace qvx::testing {

class COuter final : public platform::IUnknown {
 public:
  platform::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner != nullptr ? inner->QueryInterface(riid, object) : E_NOINTERFACE;
  }
  platform::ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  platform::ULONG STDMETHODCALLTYPE Release() override { return --references; }

  platform::ULONG references = 1;
  IUnknown* inner = nullptr;
};

// What aggregation promises for `iid` asked of `outer`: the interface's
// reference is the outer object's, and it answers IUnknown with the outer
// object's identity. The count is back where it was at the end.
inline ::testing::AssertionResult GivesOuterIdentity(COuter& outer, REFIID iid) {
  const platform::ULONG before = outer.references;
  platform::IUnknown* face = nullptr;
  if (outer.QueryInterface(iid, reinterpret_cast<void**>(&face)) != S_OK) {
    return ::testing::AssertionFailure() << "the interface is not given";
  }
  const platform::ULONG counted = outer.references;
  platform::IUnknown* identity = nullptr;
  const platform::HRESULT asked =
      face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  if (identity != nullptr) identity->Release();
  face->Release();
  if (counted != before + 1) {
    return ::testing::AssertionFailure() << "the reference went elsewhere: " << counted;
  }
  if (asked != S_OK || identity != static_cast<platform::IUnknown*>(&outer)) {
    return ::testing::AssertionFailure() << "IUnknown is not the outer object's";
  }
  if (outer.references != before) {
    return ::testing::AssertionFailure() << "the count is off after release: " << outer.references;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace qvx::testing
