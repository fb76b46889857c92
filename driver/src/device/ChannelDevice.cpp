#include "device/ChannelDevice.h"

#include <new>
#include <string>
#include <utility>

#include "reader/PcscdReaderName.h"

namespace qvx::driver {

namespace {

// The reader's listed name: a USB device adds the strings it names itself
// with; a lower edge that cannot tell gives the plain name.
std::string ListedName(ILowerEdge& lower, std::uint32_t readerIndex) {
  UsbDescriptors descriptors;
  if (!NT_SUCCESS(lower.ReadDescriptors(descriptors))) {
    descriptors.strings = DeviceNameStrings{};
  }
  return ListedReaderName(descriptors.strings, readerIndex, ReaderNameExtension());
}

}  // namespace

std::unique_ptr<CDevice> AddChannelDevice(std::unique_ptr<ILowerEdge> lower,
                                          std::uint32_t readerIndex, CDevice::Options options) {
  if (!lower) {
    return nullptr;
  }
  CUnitBitmap& units = *options.units;
  const std::uint32_t unit = units.Allocate();
  try {
    const std::string name = ListedName(*lower, readerIndex);
    auto device = std::make_unique<CDevice>(KOwned<ILowerEdge>(lower.release()), unit, readerIndex,
                                            name.c_str(), CancelEventName(name).c_str(), options);
    units.DeviceAdded();
    return device;
  } catch (const std::bad_alloc&) {
    units.Release(unit);
    return nullptr;
  }
}

}  // namespace qvx::driver
