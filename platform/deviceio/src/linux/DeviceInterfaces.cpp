// SetupDi-style enumeration: a snapshot of the sockets in a class's
// directory, one device with one interface per socket.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/DeviceIo.h"

struct platform::DeviceInfoSet {
  GUID classGuid;
  std::vector<std::string> paths;
};

namespace platform {

namespace {

constexpr const char* kDefaultRoot = "/run/quorvex2/devices";

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

}  // namespace

std::string GuidText(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

std::string DeviceInterfaceDirectory(const GUID& classGuid) {
  const char* root = std::getenv("QVX_DEVICE_DIR");
  return std::string(root != nullptr && *root != '\0' ? root : kDefaultRoot) + "/" +
         GuidText(classGuid);
}

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, const char* /*enumerator*/,
                              void* /*parentWindow*/, DWORD flags) {
  if (classGuid == nullptr || (flags & DIGCF_DEVICEINTERFACE) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto set = new DeviceInfoSet{*classGuid, {}};
  const std::string directory = DeviceInterfaceDirectory(*classGuid);
  if (DIR* listing = ::opendir(directory.c_str())) {
    while (const dirent* entry = ::readdir(listing)) {
      const std::string path = directory + "/" + entry->d_name;
      struct stat info {};
      if (entry->d_name[0] != '.' && ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) {
        set->paths.push_back(path);
      }
    }
    ::closedir(listing);
  }
  // Listing order of a directory is arbitrary; the first device must not be.
  std::sort(set->paths.begin(), set->paths.end());
  SetLastError(ERROR_SUCCESS);
  return set;
}

bool SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device) {
  if (set == nullptr || device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (index >= set->paths.size()) return Fail(ERROR_NO_MORE_ITEMS);
  device->ClassGuid = set->classGuid;
  device->DevInst = index;
  device->Reserved = index;
  return true;
}

bool SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* classGuid,
                                 DWORD index, SP_DEVICE_INTERFACE_DATA* deviceInterface) {
  if (set == nullptr || classGuid == nullptr || deviceInterface == nullptr ||
      deviceInterface->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  std::size_t position = index;
  if (device != nullptr) {
    if (index > 0 || device->DevInst >= set->paths.size()) return Fail(ERROR_NO_MORE_ITEMS);
    position = device->DevInst;
  }
  if (!(*classGuid == set->classGuid) || position >= set->paths.size()) {
    return Fail(ERROR_NO_MORE_ITEMS);
  }
  deviceInterface->InterfaceClassGuid = set->classGuid;
  deviceInterface->Flags = 0x1;  // SPINT_ACTIVE
  deviceInterface->Reserved = position;
  return true;
}

bool SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                      DWORD* requiredSize, SP_DEVINFO_DATA* device) {
  if (set == nullptr || deviceInterface == nullptr ||
      deviceInterface->Reserved >= set->paths.size()) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::string& path = set->paths[deviceInterface->Reserved];
  const std::size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
  const auto needed = static_cast<DWORD>(offset + path.size() + 1);
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr || detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
    return Fail(ERROR_INVALID_USER_BUFFER);
  }
  // Through the block's bytes: the path runs past the declared array.
  std::memcpy(reinterpret_cast<char*>(detail) + offset, path.c_str(), path.size() + 1);
  if (device != nullptr) {
    device->ClassGuid = set->classGuid;
    device->DevInst = static_cast<DWORD>(deviceInterface->Reserved);
  }
  return true;
}

bool SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
  delete set;
  return true;
}

}  // namespace platform
