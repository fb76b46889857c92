// GetFileStamp over the file's handle: volume serial number and file index,
// size, and the last-write and change times (100 ns ticks).
#include "platform/File.h"

namespace platform {

namespace {

long long Ticks(const LARGE_INTEGER& time) { return static_cast<long long>(time.QuadPart); }

}  // namespace

bool GetFileStamp(const char* fileName, FileStamp* stamp) {
  if (fileName == nullptr || stamp == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // Attributes only, sharing everything: looking never stands in a writer's way.
  const HANDLE file = ::CreateFileA(fileName, FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  FILE_BASIC_INFO times{};
  const bool ok = ::GetFileInformationByHandle(file, &information) &&
                  ::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times);
  const DWORD error = ::GetLastError();
  ::CloseHandle(file);
  if (!ok) {
    ::SetLastError(error);
    return false;
  }
  stamp->volume = information.dwVolumeSerialNumber;
  stamp->index =
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  stamp->size = static_cast<long long>(
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow);
  stamp->modified = Ticks(times.LastWriteTime);
  stamp->changed = Ticks(times.ChangeTime);
  return true;
}

}  // namespace platform
