// System message texts on Linux: the Windows texts of the Win32 numbers the
// platform layer reports, and pcsc-lite's texts for PC/SC results.
#include "platform/SystemMessage.h"

#include <PCSC/pcsclite.h>
#include <PCSC/winscard.h>

#include <cstring>
#include <mutex>
#include <new>

namespace platform {
namespace {

struct Win32Text {
  DWORD code;
  const char* text;
};

constexpr Win32Text kWin32Texts[] = {
    {ERROR_SUCCESS, "The operation completed successfully."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_ENVVAR_NOT_FOUND, "The system could not find the environment option that was entered."},
    {ERROR_NOT_OWNER, "Attempt to release mutex not owned by caller."},
    {ERROR_MR_MID_NOT_FOUND,
     "The system cannot find message text for message number 0x%1 in the message file "
     "for %2."},
};

constexpr std::uint32_t kPcscFacilityMask = 0xFFFFFF00u;
constexpr std::uint32_t kPcscFacility = 0x80100000u;

}  // namespace

DWORD FormatSystemMessage(std::uint32_t code, std::string& text) {
  try {
    for (const Win32Text& row : kWin32Texts) {
      if (row.code == code) {
        text = row.text;
        return ERROR_SUCCESS;
      }
    }
    if ((code & kPcscFacilityMask) == kPcscFacility) {
      // pcsc-lite words into one buffer of its own; the lock keeps a second
      // thread from overwriting it before it is copied.
      static std::mutex bufferLock;
      const std::lock_guard<std::mutex> lock(bufferLock);
      const char* pcscText = pcsc_stringify_error(static_cast<::LONG>(code));
      // pcsc-lite words codes it does not know as "Unknown error: 0x...".
      if (pcscText != nullptr && std::strncmp(pcscText, "Unknown error", 13) != 0) {
        text = pcscText;
        return ERROR_SUCCESS;
      }
    }
    return ERROR_MR_MID_NOT_FOUND;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

}  // namespace platform
