#include "ReaderDevices.h"

#include <setupapi.h>
#include <winioctl.h>
#include <winsmcrd.h>

#include <algorithm>

#include "DeviceFile.h"

namespace qvx::testing::scard {

namespace {

// {50DD5230-BA8A-11D1-BF5D-0000F805F530}, which no MinGW header defines.
const GUID kReaderInterface = {
    0x50DD5230, 0xBA8A, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

std::vector<std::string> InterfacePaths() {
  std::vector<std::string> paths;
  HDEVINFO set = SetupDiGetClassDevsA(&kReaderInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return paths;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kReaderInterface, i, &data); ++i) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    std::vector<char> buffer(size + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr)) {
      paths.emplace_back(detail->DevicePath);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return paths;
}

bool Attribute(CDeviceFile& file, ULONG id, std::string* value) {
  Bytes out(256);
  if (file.Control(IOCTL_SMARTCARD_GET_ATTRIBUTE, &id, sizeof id, &out) != ERROR_SUCCESS) {
    return false;
  }
  value->assign(out.begin(), out.end());
  return true;
}

}  // namespace

std::string ReaderName(const std::string& vendor, const std::string& type, ULONG unit) {
  const auto text = [](const std::string& value) {
    return value.substr(0, std::min(value.find('\0'), value.size()));
  };
  return text(vendor) + " " + text(type) + " " + std::to_string(unit);
}

std::vector<ReaderDevice> FindReaders() {
  std::vector<ReaderDevice> readers;
  for (const std::string& path : InterfacePaths()) {
    CDeviceFile file(path);
    std::string vendor, type, unit;
    if (!file.Open() || !Attribute(file, SCARD_ATTR_VENDOR_NAME, &vendor) ||
        !Attribute(file, SCARD_ATTR_VENDOR_IFD_TYPE, &type) ||
        !Attribute(file, SCARD_ATTR_DEVICE_UNIT, &unit) || unit.size() != sizeof(ULONG)) {
      continue;
    }
    ULONG number = 0;
    std::copy(unit.begin(), unit.end(), reinterpret_cast<char*>(&number));
    readers.push_back({ReaderName(vendor, type, number), path});
  }
  return readers;
}

}  // namespace qvx::testing::scard
