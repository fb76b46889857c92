// The caller's own file for reading and appending. Its folder is the
// user's own (%TEMP%); what stands at the name must still be a plain file,
// not a link another account planted there.
#include "platform/File.h"

namespace platform {

HANDLE CreateOwnFile(const char* fileName) {
  // Writes go to the end through WriteFile's end-of-file offset; write
  // access also lets the owner cut the file when it tidies it up.
  HANDLE file =
      ::CreateFileA(fileName, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes &
       (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    ::CloseHandle(file);
    ::SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

}  // namespace platform
