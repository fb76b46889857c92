// IUnknown and IClassFactory, the two interfaces every COM object and every
// in-process server starts from (the system's, or the Linux layer's in
// platform/com/os), and the owning pointer CComPtr.
#pragma once

#include <utility>

#include "platform/com/ComTypes.h"
#include "platform/com/os/Unknown.h"

namespace platform {

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
