// The device behind one of pcscd's channels: on Linux the IFD handler's
// channel plays AddDevice (not kernel-safe: the Windows driver adds devices
// in its own AddDevice, wdm/AddDevice.h).
//
// Offers: AddChannelDevice — a unit number, the transport over `lower`, the reader
// context named as pcscd lists it (from `readerIndex` and the strings
// `lower` reports) with its cancel event. Not started yet. Null when
// `lower` is null or there is no memory.
#pragma once

#include <cstdint>
#include <memory>

#include "device/Device.h"
#include "transport/LowerEdge.h"

namespace qvx::driver {

std::unique_ptr<CDevice> AddChannelDevice(std::unique_ptr<ILowerEdge> lower,
                                          std::uint32_t readerIndex,
                                          CDevice::Options options = CDevice::Options{});

}  // namespace qvx::driver
