// The devices pcscd has opened, by logical unit number. pcscd numbers the
// readers of one driver in the high word of the unit (0, 0x10000, ...);
// the low word is the slot, and a Quorvex2 has one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "device/Device.h"
#include "ifd/PcscIfd.h"

namespace qvxrdr {

std::uint32_t ReaderIndexOf(DWORD lun);

class CChannels {
 public:
  // False when the reader already has a device.
  bool Insert(DWORD lun, std::shared_ptr<CDevice> device);
  // Null when the reader has none. The device stays alive while the
  // caller holds it, even if the channel is closed meanwhile.
  std::shared_ptr<CDevice> Find(DWORD lun);
  std::shared_ptr<CDevice> Take(DWORD lun);

 private:
  std::mutex lock_;
  std::map<std::uint32_t, std::shared_ptr<CDevice>> devices_;
};

CChannels& Channels();

}  // namespace qvxrdr
