#include "kernel/Time.h"

#include "kernel/os/Wdm.h"

namespace qvx::driver {

// The interrupt time counts 100 ns units since boot and never goes back.
std::uint64_t TickMs() { return static_cast<std::uint64_t>(KeQueryInterruptTime()) / 10000u; }

}  // namespace qvx::driver
