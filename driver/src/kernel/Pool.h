// Memory of the driver.
//
// Offers: `new (kPool) T(...)`, which gives nullptr instead of throwing
// when there is no memory (so the caller must check), and `delete` for
// what it made. On Windows both go to the non-paged pool under the
// driver's one tag (kPoolTag); on Linux to the ordinary heap. Code the
// kernel build compiles allocates only this way: the kernel build has no
// throwing operator new, so a plain `new` does not link there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvx::driver {

struct PoolAllocation {
  explicit PoolAllocation() = default;
};
constexpr PoolAllocation kPool{};

// 'Qvxr' as the pool shows it (the tag is stored little-endian).
constexpr std::uint32_t kPoolTag = 0x72787651u;

}  // namespace qvx::driver

void* operator new(std::size_t size, qvx::driver::PoolAllocation) noexcept;
// Called only when a constructor throws, which driver code never does.
void operator delete(void* block, qvx::driver::PoolAllocation) noexcept;
