// Device time: fed in by the host so the firmware runs the same under a
// fake clock as under the real one. Settings are whole milliseconds; the
// clock itself is finer so a time limit never ends early by a fraction.
#pragma once

#include <chrono>

namespace qvx::sim {

using Millis = std::chrono::milliseconds;
// Time since an arbitrary start.
using DeviceTime = std::chrono::microseconds;

}  // namespace qvx::sim
