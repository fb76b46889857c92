// The devices pcscd has opened, by logical unit number. pcscd numbers the
// readers of one driver in the high word of the unit (0, 0x10000, ...);
// the low word is the slot, and a Quorvex2 has one.
//
// A channel outlives its device: when the device goes away the channel
// stays open (pcscd has not closed it) and its device is replaced once the
// same device name can be opened again.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "device/Device.h"
#include "ifd/DeviceLink.h"
#include "ifd/PcscIfd.h"

namespace qvx::driver {

std::uint32_t ReaderIndexOf(DWORD lun);

struct CChannel {
  std::string deviceName;
  std::shared_ptr<CDevice> device;   // null once a gone device was retired
  std::shared_ptr<CLinkState> link;  // of the device's lower edge
  std::shared_ptr<CReopenPacing> pacing = std::make_shared<CReopenPacing>();
};

class CChannels {
 public:
  // False when the reader already has a channel.
  bool Insert(DWORD lun, CChannel channel);
  // Null when the reader has no channel or no device now. The device stays
  // alive while the caller holds it, even if the channel is closed meanwhile.
  std::shared_ptr<CDevice> Find(DWORD lun);
  std::optional<CChannel> Get(DWORD lun);
  std::optional<CChannel> Take(DWORD lun);
  // Puts `device` (with its link) in place of `expected`; false when the
  // channel is closed or its device changed meanwhile.
  bool Replace(DWORD lun, const std::shared_ptr<CDevice>& expected, std::shared_ptr<CDevice> device,
               std::shared_ptr<CLinkState> link);

 private:
  std::mutex m_lock;
  std::map<std::uint32_t, CChannel> m_channels;
};

CChannels& Channels();

}  // namespace qvx::driver
