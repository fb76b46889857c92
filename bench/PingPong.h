// The baseline of the throughput benchmark: 8-byte packets bounced between
// two processes over a raw SOCK_SEQPACKET socket pair, the same kind of
// socket that joins the driver and the simulator.
#pragma once

#include <cstddef>

namespace qvx::bench {

// Packets per second (both directions counted) over `roundTrips` round
// trips after a short warm-up. Throws std::runtime_error on socket errors.
double RawSeqpacketPacketsPerSecond(std::size_t roundTrips);

}  // namespace qvx::bench
