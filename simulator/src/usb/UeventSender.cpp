#include "usb/UeventSender.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace qvx::sim::usb {
namespace {

// udev's monitor header; the numbers in network order.
struct MonitorHeader {
  char prefix[8];
  std::uint32_t magic;
  std::uint32_t headerSize;
  std::uint32_t propertiesOffset;
  std::uint32_t propertiesLength;
  std::uint32_t subsystemHash;
  std::uint32_t devtypeHash;
  std::uint32_t tagBloomHigh;
  std::uint32_t tagBloomLow;
};
constexpr std::uint32_t kMonitorMagic = 0xfeedcafe;

void AddProperty(std::vector<std::uint8_t>& out, const char* name, const std::string& value) {
  const std::string line = std::string(name) + "=" + value;
  out.insert(out.end(), line.begin(), line.end());
  out.push_back(0);
}

bool IsListener(const char* name) {
  if (std::strncmp(name, "event", 5) != 0 || name[5] == '\0') return false;
  for (const char* c = name + 5; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  return true;
}

}  // namespace

std::uint32_t UdevStringHash(const std::string& text) {
  constexpr std::uint32_t m = 0x5bd1e995;
  std::size_t left = text.size();
  std::uint32_t h = static_cast<std::uint32_t>(left);
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  for (; left >= 4; left -= 4, data += 4) {
    std::uint32_t k = 0;
    std::memcpy(&k, data, sizeof k);
    k *= m;
    k ^= k >> 24;
    k *= m;
    h = (h * m) ^ k;
  }
  switch (left) {
    case 3:
      h ^= static_cast<std::uint32_t>(data[2]) << 16;
      [[fallthrough]];
    case 2:
      h ^= static_cast<std::uint32_t>(data[1]) << 8;
      [[fallthrough]];
    case 1:
      h ^= data[0];
      h *= m;
      break;
    default:
      break;
  }
  h ^= h >> 13;
  h *= m;
  h ^= h >> 15;
  return h;
}

std::vector<std::uint8_t> UeventMessage(const Uevent& event, std::uint64_t seqnum) {
  std::vector<std::uint8_t> properties;
  AddProperty(properties, "ACTION", event.action);
  AddProperty(properties, "DEVPATH", event.devpath);
  AddProperty(properties, "SUBSYSTEM", event.subsystem);
  AddProperty(properties, "SEQNUM", std::to_string(seqnum));
  if (!event.devname.empty()) AddProperty(properties, "DEVNAME", event.devname);
  if (!event.devtype.empty()) AddProperty(properties, "DEVTYPE", event.devtype);

  MonitorHeader header{};
  std::memcpy(header.prefix, "libudev", 8);
  header.magic = htonl(kMonitorMagic);
  header.headerSize = sizeof header;  // these two in host order, as udev writes them
  header.propertiesOffset = sizeof header;
  header.propertiesLength = static_cast<std::uint32_t>(properties.size());
  header.subsystemHash = htonl(UdevStringHash(event.subsystem));
  if (!event.devtype.empty()) header.devtypeHash = htonl(UdevStringHash(event.devtype));

  std::vector<std::uint8_t> message(sizeof header + properties.size());
  std::memcpy(message.data(), &header, sizeof header);
  std::memcpy(message.data() + sizeof header, properties.data(), properties.size());
  return message;
}

int UeventSender::Send(const Uevent& event) {
  const std::vector<std::uint8_t> message = UeventMessage(event, m_seqnum++);
  std::vector<std::string> listeners;
  if (DIR* dir = ::opendir(m_root.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (IsListener(entry->d_name)) listeners.push_back(m_root + "/" + entry->d_name);
    }
    ::closedir(dir);
  }
  int reached = 0;
  for (const std::string& path : listeners) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) continue;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    const ssize_t sent = ::sendto(fd, message.data(), message.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    // Nobody bound to it any more: the monitor was closed.
    if (sent < 0 && errno == ECONNREFUSED) ::unlink(path.c_str());
    if (sent == static_cast<ssize_t>(message.size())) ++reached;
    ::close(fd);
  }
  return reached;
}

}  // namespace qvx::sim::usb
