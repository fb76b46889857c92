// What the compiler's C++ expects of a runtime, for a driver without one:
// memory from the pool under the driver's tag, and the pure-virtual trap.
// There is no throwing operator new, so a plain `new` does not link, and no
// static constructors run: the driver has no objects with dynamic
// initialisation at namespace scope.
#include "kernel/os/Wdm.h"

#include "kernel/Pool.h"

void* operator new(std::size_t size, qvx::driver::PoolAllocation) noexcept {
  void* block = ExAllocatePoolWithTag(NonPagedPool, size, qvx::driver::kPoolTag);
  if (block != nullptr) {
    RtlZeroMemory(block, size);
  }
  return block;
}

void operator delete(void* block, qvx::driver::PoolAllocation) noexcept {
  if (block != nullptr) {
    ExFreePoolWithTag(block, qvx::driver::kPoolTag);
  }
}

void operator delete(void* block) noexcept {
  if (block != nullptr) {
    ExFreePoolWithTag(block, qvx::driver::kPoolTag);
  }
}

void operator delete(void* block, std::size_t /*size*/) noexcept { operator delete(block); }

// A call through a pure virtual function means an object was used during
// its construction or destruction: stop here rather than run on.
extern "C" void __cxa_pure_virtual() { KeBugCheckEx(0xE2, 0x51767872u, 0, 0, 0); }
