// brixonnm's system part on Windows: the pipe the browser gives as the
// standard handles, read and written as bytes (no C runtime text mode).
#include "nmhost/HostSystem.h"

#include <windows.h>

#include <string>

namespace qvx::nmhost {

bool InputIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// A write to a closed pipe fails with ERROR_NO_DATA here; nothing to do.
void PreparePipe() {}

std::size_t ReadInput(char* buffer, std::size_t size) {
  DWORD got = 0;
  const DWORD want = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  // ERROR_BROKEN_PIPE is the browser closing its end: the end of the input.
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, want, &got, nullptr)) return 0;
  return got;
}

void WriteOutput(const std::string& bytes) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    DWORD wrote = 0;
    if (!WriteFile(out, bytes.data() + done, left > MAXDWORD ? MAXDWORD : static_cast<DWORD>(left),
                   &wrote, nullptr) ||
        wrote == 0) {
      return;
    }
    done += wrote;
  }
}

// Windows always sets ALLUSERSPROFILE (the machine's ProgramData, whose
// BRIXWSSVR log the service owns), so the host's lines go to the
// customer's %LOCALAPPDATA%\Quorvex2 unless the machine's WSSLogFilePath
// setting places the log. LOCALAPPDATA is the customer's alone already.
void PlaceCustomerLog() {
  char base[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", base, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::string dir = std::string(base, length) + "\\Quorvex2";
  if (!CreateDirectoryA(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return;
  SetEnvironmentVariableA("ALLUSERSPROFILE", dir.c_str());
}

}  // namespace qvx::nmhost
