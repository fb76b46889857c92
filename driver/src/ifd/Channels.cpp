#include "ifd/Channels.h"

#include <memory>
#include <utility>

namespace qvxrdr {

std::uint32_t ReaderIndexOf(DWORD lun) { return static_cast<std::uint32_t>((lun >> 16) & 0xFFFFu); }

bool CChannels::Insert(DWORD lun, std::shared_ptr<CDevice> device) {
  std::lock_guard<std::mutex> guard(lock_);
  return devices_.emplace(ReaderIndexOf(lun), std::move(device)).second;
}

std::shared_ptr<CDevice> CChannels::Find(DWORD lun) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = devices_.find(ReaderIndexOf(lun));
  return found == devices_.end() ? nullptr : found->second;
}

std::shared_ptr<CDevice> CChannels::Take(DWORD lun) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = devices_.find(ReaderIndexOf(lun));
  if (found == devices_.end()) {
    return nullptr;
  }
  std::shared_ptr<CDevice> device = std::move(found->second);
  devices_.erase(found);
  return device;
}

CChannels& Channels() {
  // Never destroyed: pcscd's exit handlers would otherwise tear devices down
  // under its polling threads. Channels are closed through IFDHCloseChannel;
  // at process exit the system takes the rest.
  static CChannels* const channels = std::make_unique<CChannels>().release();
  return *channels;
}

}  // namespace qvxrdr
