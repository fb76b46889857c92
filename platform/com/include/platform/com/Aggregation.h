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
//     CInnerUnknown<CThing> m_inner{this};
//     IUnknown* m_outer;                   // m_inner when not aggregated
//    public:
//     explicit CThing(IUnknown* outer) : m_outer(outer ? outer : &m_inner) {}
//     HRESULT STDMETHODCALLTYPE QueryInterface(REFIID r, void** p) override {
//       return m_outer->QueryInterface(r, p);
//     }
//     ULONG STDMETHODCALLTYPE AddRef() override { return m_outer->AddRef(); }
//     ULONG STDMETHODCALLTYPE Release() override { return m_outer->Release(); }
//     ...
//   };
//
// The class factory hands out &m_inner (after one InnerAddRef) when it
// creates an aggregated object; the outer object must ask for IID_IUnknown.
#pragma once

#include "platform/com/Unknown.h"

namespace platform {

template <class T>
class CInnerUnknown final : public IUnknown {
 public:
  explicit CInnerUnknown(T* owner) : m_owner(owner) {}
  CInnerUnknown(const CInnerUnknown&) = delete;
  CInnerUnknown& operator=(const CInnerUnknown&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    return m_owner->InnerQueryInterface(riid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_owner->InnerAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return m_owner->InnerRelease(); }

 private:
  T* m_owner;
};

}  // namespace platform
