// Files in Win32 shape (CreateFile, ReadFile, WriteFile, SetFilePointerEx,
// SetEndOfFile, GetFileSizeEx; CloseHandle ends them like any other handle),
// and the platform's own private-file helper.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/File.h"

namespace platform {

// The caller's own private file, opened for reading and appending (made
// when missing, readable and writable by its owner alone). Refused with
// ERROR_ACCESS_DENIED when the name is a link, not a regular file, or a
// file of another account: in a shared directory another account could
// plant either. INVALID_HANDLE_VALUE on failure.
HANDLE CreateOwnFile(const char* fileName);

// Writes `contents` to fileName as a new file only its owner may read and
// write (Windows: SYSTEM and the administrators), all or nothing: written
// aside and moved into place, so a reader never sees half of it. An existing
// file is kept, never replaced (true). False with the last error otherwise.
bool WriteNewPrivateFile(const char* fileName, const std::string& contents);

// Makes an existing file its owner's alone again (whatever made it before).
// Refuses a link (ERROR_ACCESS_DENIED); ERROR_FILE_NOT_FOUND when missing.
bool RestrictFileToOwner(const char* fileName);

// What tells one version of a file from another: the file itself (its volume
// and index) and its size and times, in the system's own units. A replaced,
// rewritten or touched file differs in at least one.
struct FileStamp {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  long long size = 0;
  long long modified = 0;
  long long changed = 0;

  bool operator==(const FileStamp& other) const {
    return volume == other.volume && index == other.index && size == other.size &&
           modified == other.modified && changed == other.changed;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};
// false with the last error (ERROR_FILE_NOT_FOUND, ...) when the file cannot
// be looked at. Links are followed.
bool GetFileStamp(const char* fileName, FileStamp* stamp);

}  // namespace platform
