// Ownership of one object made with `new (kPool)`.
//
// Offers: KOwned<T> — deletes what it holds when it goes (through a
// virtual destructor for an interface); MakeOwned<T>(args...) makes one in
// the pool and is empty when there is no memory. Kernel-safe: no
// exceptions, no standard library beyond <utility>.
#pragma once

#include <cstddef>
#include <utility>

#include "kernel/Pool.h"

namespace qvx::driver {

template <class T>
class KOwned {
 public:
  KOwned() = default;
  // Takes over an object made with new (in the kernel build: new (kPool)).
  explicit KOwned(T* object) : m_object(object) {}
  ~KOwned() { Reset(); }
  KOwned(const KOwned&) = delete;
  KOwned& operator=(const KOwned&) = delete;
  KOwned(KOwned&& other) noexcept : m_object(other.Release()) {}
  template <class U>
  KOwned(KOwned<U>&& other) noexcept
      : m_object(other.Release()) {}  // NOLINT: as a pointer converts
  KOwned& operator=(KOwned&& other) noexcept {
    if (this != &other) {
      Reset(other.Release());
    }
    return *this;
  }

  T* Get() const { return m_object; }
  T* operator->() const { return m_object; }
  T& operator*() const { return *m_object; }
  explicit operator bool() const { return m_object != nullptr; }

  T* Release() {
    T* object = m_object;
    m_object = nullptr;
    return object;
  }
  void Reset(T* object = nullptr) {
    T* old = m_object;
    m_object = object;
    delete old;
  }

 private:
  T* m_object = nullptr;
};

template <class T, class... Args>
KOwned<T> MakeOwned(Args&&... args) {
  return KOwned<T>(new (kPool) T(std::forward<Args>(args)...));
}

}  // namespace qvx::driver
