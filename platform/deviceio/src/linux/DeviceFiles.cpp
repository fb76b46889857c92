// Device files: a connection to the driver's socket per handle. Handles
// live in a table; a call holds its own reference, so closing a handle
// while another thread waits in DeviceIoControl on it wakes that call
// (the socket is shut down) instead of pulling the object away.
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/DeviceIo.h"
#include "platform/posix/UniqueFd.h"

struct platform::DeviceFile {
  UniqueFd socket;
  std::mutex call;  // one request at a time on a handle
  std::atomic<bool> closed{false};
};

namespace platform {

namespace {

struct FileTable {
  std::mutex mutex;
  std::map<HDEVICE, std::shared_ptr<DeviceFile>> files;
};

FileTable& Files() {
  static FileTable* table = new FileTable;  // outlives threads ending at exit
  return *table;
}

std::shared_ptr<DeviceFile> Find(HDEVICE device) {
  std::lock_guard<std::mutex> lock(Files().mutex);
  const auto found = Files().files.find(device);
  return found == Files().files.end() ? nullptr : found->second;
}

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

DWORD ConnectError(int err) {
  switch (err) {
    case ENOENT:
    case ECONNREFUSED:
      return ERROR_FILE_NOT_FOUND;  // nobody serves the path
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG:
      return ERROR_INVALID_NAME;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace

HDEVICE CreateFileA(const char* path, DWORD /*access*/, DWORD /*shareMode*/,
                    void* /*securityAttributes*/, DWORD creationDisposition, DWORD /*flags*/,
                    HDEVICE /*templateFile*/) {
  sockaddr_un address{};
  if (path == nullptr || creationDisposition != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (std::strlen(path) >= sizeof address.sun_path) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path);
  auto file = std::make_shared<DeviceFile>();
  file->socket.Reset(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
  if (!file->socket.Valid()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  while (::connect(file->socket.Get(), reinterpret_cast<const sockaddr*>(&address),
                   sizeof address) != 0) {
    if (errno != EINTR) {
      SetLastError(ConnectError(errno));
      return nullptr;
    }
  }
  HDEVICE handle = file.get();
  std::lock_guard<std::mutex> lock(Files().mutex);
  Files().files.emplace(handle, std::move(file));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

bool DeviceIoControl(HDEVICE device, DWORD controlCode, const void* input, DWORD inputSize,
                     void* output, DWORD outputSize, DWORD* bytesReturned, void* overlapped) {
  const std::shared_ptr<DeviceFile> file = Find(device);
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  if (overlapped != nullptr) return Fail(ERROR_NOT_SUPPORTED);
  if ((inputSize > 0 && input == nullptr) || (outputSize > 0 && output == nullptr) ||
      inputSize > kMaxDevicePacket - sizeof(DeviceRequestHeader)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (bytesReturned != nullptr) *bytesReturned = 0;

  std::lock_guard<std::mutex> call(file->call);
  std::vector<unsigned char> packet(sizeof(DeviceRequestHeader) + inputSize);
  const DeviceRequestHeader header{controlCode, inputSize, outputSize};
  std::memcpy(packet.data(), &header, sizeof header);
  if (inputSize > 0) std::memcpy(packet.data() + sizeof header, input, inputSize);
  ssize_t sent = 0;
  do {
    sent = ::send(file->socket.Get(), packet.data(), packet.size(), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  if (sent != static_cast<ssize_t>(packet.size())) {
    return Fail(file->closed ? ERROR_OPERATION_ABORTED : ERROR_DEVICE_REMOVED);
  }

  packet.assign(kMaxDevicePacket, 0);
  ssize_t received = 0;
  do {
    received = ::recv(file->socket.Get(), packet.data(), packet.size(), 0);
  } while (received < 0 && errno == EINTR);
  if (received < static_cast<ssize_t>(sizeof(DeviceReplyHeader))) {
    // Shut down by CloseHandle, or the driver went away mid-request.
    return Fail(file->closed ? ERROR_OPERATION_ABORTED : ERROR_DEVICE_REMOVED);
  }
  DeviceReplyHeader reply{};
  std::memcpy(&reply, packet.data(), sizeof reply);
  const std::size_t carried = static_cast<std::size_t>(received) - sizeof reply;
  if (reply.outputLength > carried || reply.outputLength > outputSize) {
    return Fail(ERROR_GEN_FAILURE);  // a driver that breaks the format
  }
  if (reply.outputLength > 0) std::memcpy(output, packet.data() + sizeof reply, reply.outputLength);
  if (bytesReturned != nullptr) *bytesReturned = reply.outputLength;
  if (reply.error != ERROR_SUCCESS) return Fail(reply.error);
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool CloseHandle(HDEVICE device) {
  std::shared_ptr<DeviceFile> file;
  {
    std::lock_guard<std::mutex> lock(Files().mutex);
    const auto found = Files().files.find(device);
    if (found == Files().files.end()) return Fail(ERROR_INVALID_HANDLE);
    file = std::move(found->second);
    Files().files.erase(found);
    file->closed = true;
  }
  // Wakes a pending call; the descriptor closes with the last reference.
  ::shutdown(file->socket.Get(), SHUT_RDWR);
  return true;
}

}  // namespace platform
