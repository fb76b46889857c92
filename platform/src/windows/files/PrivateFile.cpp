// Private files for keys: written aside, protected, then moved into place
// (a move never replaces an existing file here).
#include <string>

#include "files/AccessList.h"
#include "platform/File.h"

namespace platform {

namespace {

bool Failed(DWORD code) {
  ::SetLastError(code);
  return false;
}

}  // namespace

bool WriteNewPrivateFile(const char* fileName, const std::string& contents) {
  const std::string temporary = std::string(fileName) + ".new";
  ::DeleteFileA(temporary.c_str());
  HANDLE file = ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool complete =
      contents.size() <= MAXDWORD &&
      ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
      written == contents.size() && ::FlushFileBuffers(file);
  const DWORD writeError = ::GetLastError();
  ::CloseHandle(file);
  DWORD failure = complete ? detail::ProtectFile(temporary.c_str(), false) : writeError;
  if (failure == ERROR_SUCCESS &&
      !::MoveFileExA(temporary.c_str(), fileName, MOVEFILE_WRITE_THROUGH)) {
    failure = ::GetLastError();
    if (failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS) failure = ERROR_SUCCESS;
  }
  ::DeleteFileA(temporary.c_str());
  return failure == ERROR_SUCCESS || Failed(failure);
}

bool RestrictFileToOwner(const char* fileName) {
  const DWORD attributes = ::GetFileAttributesA(fileName);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return Failed(ERROR_ACCESS_DENIED);
  }
  const DWORD result = detail::ProtectFile(fileName, false);
  return result == ERROR_SUCCESS || Failed(result);
}

}  // namespace platform
