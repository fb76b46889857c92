#include "ifd/Channels.h"

#include <memory>
#include <utility>

namespace qvx::driver {

std::uint32_t ReaderIndexOf(DWORD lun) { return static_cast<std::uint32_t>((lun >> 16) & 0xFFFFu); }

bool CChannels::Insert(DWORD lun, CChannel channel) {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_channels.emplace(ReaderIndexOf(lun), std::move(channel)).second;
}

std::shared_ptr<CDevice> CChannels::Find(DWORD lun) {
  std::lock_guard<std::mutex> guard(m_lock);
  const auto found = m_channels.find(ReaderIndexOf(lun));
  return found == m_channels.end() ? nullptr : found->second.device;
}

std::optional<CChannel> CChannels::Get(DWORD lun) {
  std::lock_guard<std::mutex> guard(m_lock);
  const auto found = m_channels.find(ReaderIndexOf(lun));
  if (found == m_channels.end()) {
    return std::nullopt;
  }
  return found->second;
}

std::optional<CChannel> CChannels::Take(DWORD lun) {
  std::lock_guard<std::mutex> guard(m_lock);
  const auto found = m_channels.find(ReaderIndexOf(lun));
  if (found == m_channels.end()) {
    return std::nullopt;
  }
  CChannel channel = std::move(found->second);
  m_channels.erase(found);
  return channel;
}

bool CChannels::Replace(DWORD lun, const std::shared_ptr<CDevice>& expected,
                        std::shared_ptr<CDevice> device, std::shared_ptr<CLinkState> link) {
  std::lock_guard<std::mutex> guard(m_lock);
  const auto found = m_channels.find(ReaderIndexOf(lun));
  if (found == m_channels.end() || found->second.device != expected) {
    return false;
  }
  found->second.device = std::move(device);
  found->second.link = std::move(link);
  return true;
}

CChannels& Channels() {
  // Never destroyed: pcscd's exit handlers would otherwise tear devices down
  // under its polling threads. Channels are closed through IFDHCloseChannel;
  // at process exit the system takes the rest.
  static CChannels* const channels = std::make_unique<CChannels>().release();
  return *channels;
}

}  // namespace qvx::driver
