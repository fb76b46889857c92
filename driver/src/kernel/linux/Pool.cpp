#include "kernel/Pool.h"

#include <new>

// The ordinary heap's nothrow form, so that `delete` matches it.
void* operator new(std::size_t size, qvx::driver::PoolAllocation) noexcept {
  return ::operator new(size, std::nothrow);
}

void operator delete(void* block, qvx::driver::PoolAllocation) noexcept {
  ::operator delete(block);
}
