// IUnknown and IClassFactory, the two interfaces every COM object and every
// in-process server starts from, and the owning pointer CComPtr.
//
// Interfaces are abstract classes with the Windows slot order; there is no
// calling-convention decoration on Linux. Objects free themselves when their
// count reaches zero, so an interface pointer is never deleted directly.
#pragma once

#include <utility>

#include "platform/com/ComTypes.h"

namespace platform {

inline constexpr IID IID_IUnknown{
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory{
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IUnknown {
 public:
  // Stores an AddRef'd pointer for a supported interface and S_OK, or null
  // and E_NOINTERFACE; E_POINTER for a null output. Asking for IID_IUnknown
  // always yields the same pointer (the object's identity).
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};

class IClassFactory : public IUnknown {
 public:
  // With an outer unknown (aggregation) the factory may only be asked for
  // IID_IUnknown, and hands back the inner, non-delegating unknown
  // (CLASS_E_NOAGGREGATION for any other interface, or when the class does
  // not support aggregation).
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  // Keeps the module loaded while locked (counts, like object references).
  virtual HRESULT LockServer(BOOL lock) = 0;
};

// Owning interface pointer: releases what it holds, AddRefs what it copies.
// `&ptr` hands the slot to an out-parameter (the previous pointer goes first).
template <class T>
class CComPtr {
 public:
  CComPtr() = default;
  CComPtr(T* p) : m_p(p) {  // NOLINT: implicit like the Windows one
    if (m_p != nullptr) {
      m_p->AddRef();
    }
  }
  CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
  CComPtr(CComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
  CComPtr& operator=(const CComPtr& other) {
    CComPtr(other).Swap(*this);
    return *this;
  }
  CComPtr& operator=(CComPtr&& other) noexcept {
    CComPtr(std::move(other)).Swap(*this);
    return *this;
  }
  ~CComPtr() { Release(); }

  void Release() {
    if (T* p = m_p) {
      m_p = nullptr;
      p->Release();
    }
  }
  // Takes over a reference the caller owns.
  void Attach(T* p) {
    Release();
    m_p = p;
  }
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }
  T* Get() const { return m_p; }
  operator T*() const { return m_p; }  // NOLINT: implicit like the Windows one
  T* operator->() const { return m_p; }
  T** operator&() {
    Release();
    return &m_p;
  }
  // For QueryInterface-style out parameters (void**).
  void** AsOut() {
    Release();
    return reinterpret_cast<void**>(&m_p);
  }
  void Swap(CComPtr& other) noexcept {
    T* p = m_p;
    m_p = other.m_p;
    other.m_p = p;
  }

 private:
  T* m_p = nullptr;
};

}  // namespace platform
