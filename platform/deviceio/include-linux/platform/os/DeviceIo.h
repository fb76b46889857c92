// Device interfaces, device files and control requests on Linux, shaped
// after SetupAPI, CreateFileA and DeviceIoControl; and the platform version.
//
// A device interface of a class is a SOCK_SEQPACKET socket in the class's
// directory: <root>/<class GUID in braces, upper case>/<any name>. The root
// is $QVX_DEVICE_DIR, or /run/quorvex2/devices. The process behind the
// socket is the device's driver; a request and its reply are one packet
// each (layout below), so any process can serve a device and tests bring
// their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Guid.h"
#include "platform/os/WinTypes.h"

namespace platform {

// "{6B29FC40-CA47-1067-B31D-00DD010662DA}"
std::string GuidText(const GUID& guid);

constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_DEVICE_REMOVED = 1617;
constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;

// --- device interface enumeration ---------------------------------------

struct DeviceInfoSet;
using HDEVINFO = DeviceInfoSet*;

constexpr DWORD DIGCF_PRESENT = 0x00000002;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x00000010;

struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  std::uintptr_t Reserved;
};

struct SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  std::uintptr_t Reserved;
};

// Variable length: DevicePath runs on past its declared size. Callers set
// cbSize to sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A).
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
  DWORD cbSize;
  char DevicePath[1];
};

// Snapshot of the interfaces of `classGuid` (DIGCF_DEVICEINTERFACE is
// required; every listed socket counts as present). A missing class
// directory is an empty set. Returns nullptr on failure.
HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, const char* enumerator, void* parentWindow,
                              DWORD flags);
// One device per interface. ERROR_NO_MORE_ITEMS past the end.
bool SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* device);
// The interfaces of `device` (or of the whole set when it is null).
bool SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* device, const GUID* classGuid,
                                 DWORD index, SP_DEVICE_INTERFACE_DATA* deviceInterface);
// The interface's device path. With no or too small a buffer: false,
// ERROR_INSUFFICIENT_BUFFER and the size needed in *requiredSize.
bool SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                      DWORD* requiredSize, SP_DEVINFO_DATA* device);
bool SetupDiDestroyDeviceInfoList(HDEVINFO set);

// The directory that holds the interfaces of a class.
std::string DeviceInterfaceDirectory(const GUID& classGuid);

// --- device files -------------------------------------------------------

struct DeviceFile;
using HDEVICE = DeviceFile*;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD OPEN_EXISTING = 3;

// Opens a device path (OPEN_EXISTING only). Returns nullptr on failure,
// ERROR_FILE_NOT_FOUND when no driver serves the path.
HDEVICE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* securityAttributes,
                    DWORD creationDisposition, DWORD flags, HDEVICE templateFile);
// Synchronous only (`overlapped` must be null). One request at a time per
// handle; requests on other handles of the same device run beside it. On
// failure the last error is the driver's error number, or
// ERROR_OPERATION_ABORTED when the handle was closed meanwhile, or
// ERROR_DEVICE_REMOVED when the driver went away.
bool DeviceIoControl(HDEVICE device, DWORD controlCode, const void* input, DWORD inputSize,
                     void* output, DWORD outputSize, DWORD* bytesReturned, void* overlapped);
// Also ends a DeviceIoControl that another thread has pending on the handle.
bool CloseHandle(HDEVICE device);

// Wire format. Request packet: this header, then inputLength bytes.
// Reply packet: DeviceReplyHeader, then outputLength bytes (at most the
// request's outputCapacity). Little-endian host order.
struct DeviceRequestHeader {
  std::uint32_t controlCode;
  std::uint32_t inputLength;
  std::uint32_t outputCapacity;
};
struct DeviceReplyHeader {
  std::uint32_t error;  // 0 for success, else a Win32 error number
  std::uint32_t outputLength;
};
constexpr std::size_t kMaxDevicePacket = 65536;

// --- platform version ---------------------------------------------------

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;  // the 9x family
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA keeps its Windows size");

// Linux reports the NT family with the kernel's version numbers. Fails
// with ERROR_INVALID_PARAMETER unless dwOSVersionInfoSize is 148.
bool GetVersionExA(OSVERSIONINFOA* info);

// Tests only: makes GetVersionExA report `platformId` (for example the 9x
// family, which selects the direct device path); a negative value ends the
// override.
void OverridePlatformIdForTesting(long platformId);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CloseHandle;
using platform::CreateFileA;
using platform::DeviceIoControl;
using platform::FILE_SHARE_READ;
using platform::FILE_SHARE_WRITE;
using platform::GENERIC_READ;
using platform::GENERIC_WRITE;
using platform::GetVersionExA;
using platform::OPEN_EXISTING;
using platform::VER_PLATFORM_WIN32_WINDOWS;
