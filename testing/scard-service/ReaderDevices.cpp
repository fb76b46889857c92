#include "ReaderDevices.h"

#include <setupapi.h>
#include <winioctl.h>
#include <winsmcrd.h>

#include <algorithm>
#include <mutex>
#include <set>

#include "DeviceFile.h"
#include "contract/ReaderName.h"

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

// The names readers were given, by device path: the service's own record,
// kept where every process finds it.
constexpr char kNamesKey[] = "SOFTWARE\\QvxTestSmartCardService\\ReaderNames";

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

namespace {

// Asks the driver; empty when the reader does not answer.
std::string QueryName(const std::string& path) {
  CDeviceFile file(path);
  std::string vendor, type, unit;
  if (!file.Open() || !Attribute(file, SCARD_ATTR_VENDOR_NAME, &vendor) ||
      !Attribute(file, SCARD_ATTR_VENDOR_IFD_TYPE, &type) ||
      !Attribute(file, SCARD_ATTR_DEVICE_UNIT, &unit) || unit.size() != sizeof(ULONG)) {
    return {};
  }
  ULONG number = 0;
  std::copy(unit.begin(), unit.end(), reinterpret_cast<char*>(&number));
  return ReaderName(vendor, type, number);
}

std::string RecordedName(HKEY names, const std::string& path) {
  char value[256];
  DWORD size = sizeof value - 1;
  DWORD type = 0;
  if (names == nullptr ||
      RegQueryValueExA(names, path.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  value[size] = '\0';
  return value;
}

// Forgets the readers that are gone, so a device that comes back is asked again.
void ForgetGone(HKEY names, const std::vector<std::string>& present) {
  std::vector<std::string> gone;
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumValueA(names, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (std::find(present.begin(), present.end(), name) == present.end()) gone.emplace_back(name);
  }
  for (const std::string& path : gone) RegDeleteValueA(names, path.c_str());
}

}  // namespace

std::vector<ReaderDevice> FindReaders() {
  // Under Wine a request that waits in the driver holds up every other
  // request to it, even an open: a reader is asked for its name once, and
  // listing it again touches only the record, so a newcomer can find the
  // reader and cancel the holder's request.
  HKEY names = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kNamesKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                  &names, nullptr);
  const std::vector<std::string> paths = InterfacePaths();
  std::vector<ReaderDevice> readers;
  for (const std::string& path : paths) {
    std::string name = RecordedName(names, path);
    if (name.empty()) {
      name = QueryName(path);
      if (name.empty()) continue;
      if (names != nullptr) {
        RegSetValueExA(names, path.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                       static_cast<DWORD>(name.size() + 1));
      }
    }
    readers.push_back({name, path});
  }
  if (names != nullptr) {
    ForgetGone(names, paths);
    RegCloseKey(names);
  }
  return readers;
}

void KeepCancelEvent(const std::string& reader) {
  static std::mutex mutex;
  static std::set<std::string>* kept = new std::set<std::string>;
  std::lock_guard<std::mutex> lock(mutex);
  if (kept->count(reader) != 0) return;
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  // Never closed: the event must outlive every host of this process.
  if (CreateEventA(&attributes, TRUE, FALSE, contract::CancelEventName(reader).c_str()) !=
      nullptr) {
    kept->insert(reader);
  }
}

}  // namespace qvx::testing::scard
