// Aggregation: an object created with an outer unknown delegates its
// IUnknown (identity and reference count) to the outer object, and hands
// the outer object a separate inner unknown that controls its own life.
//
// The object keeps a CInnerUnknown<T> member and implements
// InnerQueryInterface / InnerAddRef / InnerRelease (its own count and
// interfaces; IID_IUnknown answers the inner unknown). Its public IUnknown
// methods forward to OuterUnknown(): the outer object when aggregated, the
// inner unknown otherwise.
//
//   class CThing : public IThing {
//     CInnerUnknown<CThing> inner_{this};
//     IUnknown* outer_;                   // inner_ when not aggregated
//    public:
//     explicit CThing(IUnknown* outer) : outer_(outer ? outer : &inner_) {}
//     HRESULT QueryInterface(REFIID r, void** p) override { return outer_->QueryInterface(r, p); }
//     ULONG AddRef() override { return outer_->AddRef(); }
//     ULONG Release() override { return outer_->Release(); }
//     ...
//   };
//
// The class factory hands out &inner_ (after one InnerAddRef) when it
// creates an aggregated object; the outer object must ask for IID_IUnknown.
#pragma once

#include "platform/com/Unknown.h"

namespace platform {

template <class T>
class CInnerUnknown final : public IUnknown {
 public:
  explicit CInnerUnknown(T* owner) : owner_(owner) {}
  CInnerUnknown(const CInnerUnknown&) = delete;
  CInnerUnknown& operator=(const CInnerUnknown&) = delete;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    return owner_->InnerQueryInterface(riid, object);
  }
  ULONG AddRef() override { return owner_->InnerAddRef(); }
  ULONG Release() override { return owner_->InnerRelease(); }

 private:
  T* owner_;
};

}  // namespace platform
