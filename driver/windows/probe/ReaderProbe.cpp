// qvxrdr-probe: what a program sees of the reader driver through the
// reader device interface, for the driver's tests under Wine.
//
//   qvxrdr-probe count            prints the number of present reader interfaces
//   qvxrdr-probe wait N MS        waits until there are N of them (at most MS ms)
//   qvxrdr-probe open             opens the first one and closes it again
//   qvxrdr-probe attribute vendor|type|unit [CAPACITY]
//                                 reads a reader attribute (into CAPACITY bytes)
//   qvxrdr-probe control CODE INLENGTH [BYTE...]
//                                 sends a device-control request of INLENGTH bytes
//                                 (the BYTEs given, in hexadecimal, then zeros)
//   qvxrdr-probe set-event NAME   sets the named event NAME (it must exist)
//   qvxrdr-probe --unit N ...     the requests go to the reader of unit N
//                                 instead of the first one
//   qvxrdr-probe track present|absent [cancel|twice|leave]
//                                 card tracking: prints "pending" once the request
//                                 waits, then its end; with cancel, CancelIoEx ends
//                                 it; with twice, a second request on another handle
//                                 is answered first (then the first is cancelled);
//                                 with leave, the process exits while it waits
//
// What a request answers is printed: the value, or "error N" with the
// Win32 error.
// Exits 0 on success, 1 on a failed expectation (saying why), 64 on a wrong
// call.
#include <windows.h>
#include <setupapi.h>
#include <winsmcrd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// {50DD5230-BA8A-11D1-BF5D-0000F805F530}, which no MinGW header defines.
const GUID kReaderInterface = {
    0x50DD5230, 0xBA8A, 0x11D1, {0xBF, 0x5D, 0x00, 0x00, 0xF8, 0x05, 0xF5, 0x30}};

std::vector<std::string> ReaderPaths() {
  std::vector<std::string> paths;
  HDEVINFO set = SetupDiGetClassDevsA(&kReaderInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) {
    return paths;
  }
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

int Usage() {
  std::fprintf(stderr,
               "usage: qvxrdr-probe count | wait N MS | open | attribute vendor|type|unit "
               "[CAPACITY] | control CODE INLENGTH [BYTE...] | set-event NAME | "
               "track present|absent [cancel|twice|leave]\n"
               "       qvxrdr-probe --unit N (any of the above)\n");
  return 64;
}

// The reader the requests go to: the first one, or the one of this unit.
long g_unit = -1;

HANDLE OpenPath(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool HasUnit(HANDLE reader, long wanted) {
  ULONG id = SCARD_ATTR_DEVICE_UNIT;
  ULONG unit = 0;
  DWORD returned = 0;
  return DeviceIoControl(reader, IOCTL_SMARTCARD_GET_ATTRIBUTE, &id, sizeof id, &unit, sizeof unit,
                         &returned, nullptr) &&
         returned == sizeof unit && static_cast<long>(unit) == wanted;
}

HANDLE OpenReader() {
  const std::vector<std::string> paths = ReaderPaths();
  if (paths.empty()) {
    return INVALID_HANDLE_VALUE;
  }
  if (g_unit < 0) {
    return OpenPath(paths[0]);
  }
  for (const std::string& path : paths) {
    HANDLE reader = OpenPath(path);
    if (reader != INVALID_HANDLE_VALUE && HasUnit(reader, g_unit)) {
      return reader;
    }
    if (reader != INVALID_HANDLE_VALUE) {
      CloseHandle(reader);
    }
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

// Sends one request to the first reader; false (and "error N" printed)
// when it fails.
bool Control(DWORD code, const void* in, DWORD inLength, std::vector<unsigned char>* out) {
  HANDLE reader = OpenReader();
  if (reader == INVALID_HANDLE_VALUE) {
    std::printf("no reader to open: error %lu\n", static_cast<unsigned long>(GetLastError()));
    return false;
  }
  DWORD returned = 0;
  const BOOL ok = DeviceIoControl(reader, code, const_cast<void*>(in), inLength, out->data(),
                                  static_cast<DWORD>(out->size()), &returned, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(reader);
  if (!ok) {
    std::printf("error %lu\n", static_cast<unsigned long>(error));
    return false;
  }
  out->resize(returned);
  return true;
}

int Attribute(const std::string& name, DWORD capacity) {
  ULONG id = 0;
  if (name == "vendor") {
    id = SCARD_ATTR_VENDOR_NAME;
  } else if (name == "type") {
    id = SCARD_ATTR_VENDOR_IFD_TYPE;
  } else if (name == "unit") {
    id = SCARD_ATTR_DEVICE_UNIT;
  } else {
    return Usage();
  }
  std::vector<unsigned char> value(capacity);
  if (!Control(IOCTL_SMARTCARD_GET_ATTRIBUTE, &id, sizeof id, &value)) {
    return 1;
  }
  if (id == SCARD_ATTR_DEVICE_UNIT) {
    ULONG unit = 0;
    if (value.size() != sizeof unit) {
      std::printf("unit of %u bytes\n", static_cast<unsigned>(value.size()));
      return 1;
    }
    std::memcpy(&unit, value.data(), sizeof unit);
    std::printf("%lu\n", static_cast<unsigned long>(unit));
    return 0;
  }
  // The text with its length, which counts the terminating zero.
  const std::string text(value.begin(), std::find(value.begin(), value.end(), '\0'));
  std::printf("%s (%u bytes)\n", text.c_str(), static_cast<unsigned>(value.size()));
  return 0;
}

// Card tracking, asynchronous, so that a waiting request can be seen
// waiting and be cancelled.
class CTracking {
 public:
  explicit CTracking(DWORD code) : m_code(code) {
    m_overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const std::vector<std::string> paths = ReaderPaths();
    if (!paths.empty()) {
      m_reader = CreateFileA(paths[0].c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    }
  }
  ~CTracking() {
    if (m_reader != INVALID_HANDLE_VALUE) CloseHandle(m_reader);
    CloseHandle(m_overlapped.hEvent);
  }
  CTracking(const CTracking&) = delete;
  CTracking& operator=(const CTracking&) = delete;

  // True while the request waits; otherwise *result is its end.
  bool Send(std::string* result) {
    if (m_reader == INVALID_HANDLE_VALUE) {
      *result = "no reader to open: error " + std::to_string(GetLastError());
      return false;
    }
    DWORD returned = 0;
    if (DeviceIoControl(m_reader, m_code, nullptr, 0, nullptr, 0, &returned, &m_overlapped)) {
      *result = "ok";
      return false;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
      *result = "error " + std::to_string(GetLastError());
      return false;
    }
    return true;
  }
  void Cancel() { CancelIoEx(m_reader, &m_overlapped); }
  // How the waiting request ended, within `limitMs`.
  std::string End(DWORD limitMs) {
    if (WaitForSingleObject(m_overlapped.hEvent, limitMs) != WAIT_OBJECT_0) {
      Cancel();
      return "still waiting after " + std::to_string(limitMs) + " ms";
    }
    DWORD returned = 0;
    if (GetOverlappedResult(m_reader, &m_overlapped, &returned, FALSE)) {
      return "ok";
    }
    return "error " + std::to_string(GetLastError());
  }

 private:
  DWORD m_code;
  HANDLE m_reader = INVALID_HANDLE_VALUE;
  OVERLAPPED m_overlapped{};
};

int Track(const std::string& what, const std::string& how) {
  const DWORD code = what == "present"  ? IOCTL_SMARTCARD_IS_PRESENT
                     : what == "absent" ? IOCTL_SMARTCARD_IS_ABSENT
                                        : 0;
  if (code == 0 || (!how.empty() && how != "cancel" && how != "twice" && how != "leave")) {
    return Usage();
  }
  // What the tests allow a driver for each step.
  constexpr DWORD kLimitMs = 90000;
  CTracking first(code);
  std::string result;
  if (!first.Send(&result)) {
    std::printf("%s\n", result.c_str());
    return 0;
  }
  std::printf("pending\n");
  std::fflush(stdout);
  if (how == "leave") {
    // As a program that dies: no cancel, no close of its own.
    ExitProcess(0);
  }
  if (how == "cancel") {
    first.Cancel();
  } else if (how == "twice") {
    CTracking second(code);
    if (second.Send(&result)) {
      result = "second pending too";
      second.Cancel();
      second.End(kLimitMs);
    }
    std::printf("second: %s\n", result.c_str());
    first.Cancel();
  }
  std::printf("%s\n", first.End(kLimitMs).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--unit") {
    g_unit = std::strtol(argv[2], nullptr, 10);
    argv[2] = argv[0];
    argv += 2;
    argc -= 2;
  }
  if (argc < 2) {
    return Usage();
  }
  const std::string command = argv[1];
  if (command == "count" && argc == 2) {
    std::printf("%u\n", static_cast<unsigned>(ReaderPaths().size()));
    return 0;
  }
  if (command == "wait" && argc == 4) {
    const std::size_t wanted = std::strtoul(argv[2], nullptr, 10);
    const DWORD limit = std::strtoul(argv[3], nullptr, 10);
    const DWORD start = GetTickCount();
    std::size_t seen = ReaderPaths().size();
    // Plug and Play tells user mode nothing here that a console program
    // could wait on, so the interfaces are looked at every 50 ms.
    while (seen != wanted && GetTickCount() - start < limit) {
      Sleep(50);
      seen = ReaderPaths().size();
    }
    if (seen != wanted) {
      std::printf("reader interfaces: %u, expected %u within %lu ms\n", static_cast<unsigned>(seen),
                  static_cast<unsigned>(wanted), static_cast<unsigned long>(limit));
      return 1;
    }
    return 0;
  }
  if (command == "open" && argc == 2) {
    const std::vector<std::string> paths = ReaderPaths();
    if (paths.empty()) {
      std::printf("no reader interface\n");
      return 1;
    }
    HANDLE reader = CreateFileA(paths[0].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader == INVALID_HANDLE_VALUE) {
      std::printf("cannot open %s: error %lu\n", paths[0].c_str(),
                  static_cast<unsigned long>(GetLastError()));
      return 1;
    }
    std::printf("opened %s\n", paths[0].c_str());
    CloseHandle(reader);
    return 0;
  }
  if (command == "attribute" && (argc == 3 || argc == 4)) {
    return Attribute(argv[2], argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 64);
  }
  if (command == "set-event" && argc == 3) {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (event == nullptr) {
      std::printf("cannot open %s: error %lu\n", argv[2],
                  static_cast<unsigned long>(GetLastError()));
      return 1;
    }
    const BOOL set = SetEvent(event);
    CloseHandle(event);
    return set ? 0 : 1;
  }
  if (command == "control" && argc >= 4) {
    const DWORD code = std::strtoul(argv[2], nullptr, 0);
    std::vector<unsigned char> in(std::strtoul(argv[3], nullptr, 10) + 1, 0);
    for (int i = 4; i < argc && static_cast<std::size_t>(i - 4) + 1 < in.size(); ++i) {
      in[static_cast<std::size_t>(i - 4)] =
          static_cast<unsigned char>(std::strtoul(argv[i], nullptr, 16));
    }
    std::vector<unsigned char> out(300);
    if (!Control(code, in.data(), static_cast<DWORD>(in.size() - 1), &out)) {
      return 1;
    }
    std::printf("ok, %u bytes:", static_cast<unsigned>(out.size()));
    for (unsigned char value : out) std::printf(" %02x", value);
    std::printf("\n");
    return 0;
  }
  if (command == "track" && (argc == 3 || argc == 4)) {
    return Track(argv[2], argc == 4 ? argv[3] : "");
  }
  return Usage();
}
