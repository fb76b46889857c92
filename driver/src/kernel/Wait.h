// What every kernel wait says: how long, and which kind of event.
#pragma once

#include <cstdint>

namespace qvx::driver {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class EventType { Notification, Synchronization };

}  // namespace qvx::driver
