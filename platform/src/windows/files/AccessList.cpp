#include "files/AccessList.h"

#include <aclapi.h>

namespace platform::detail {

namespace {

// A well-known SID in a buffer of its own.
struct WellKnownSid {
  explicit WellKnownSid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof m_sid;
    m_ok = ::CreateWellKnownSid(type, nullptr, m_sid, &size) != FALSE;
  }
  BYTE m_sid[SECURITY_MAX_SID_SIZE] = {};
  bool m_ok = false;
};

EXPLICIT_ACCESS_A Allow(WellKnownSid& sid, DWORD rights) {
  EXPLICIT_ACCESS_A entry{};
  entry.grfAccessPermissions = rights;
  entry.grfAccessMode = SET_ACCESS;
  entry.grfInheritance = NO_INHERITANCE;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  entry.Trustee.ptstrName = reinterpret_cast<LPSTR>(sid.m_sid);
  return entry;
}

}  // namespace

DWORD ProtectFile(const char* fileName, bool serviceReads) {
  WellKnownSid system(WinLocalSystemSid);
  WellKnownSid administrators(WinBuiltinAdministratorsSid);
  WellKnownSid localService(WinLocalServiceSid);
  if (!system.m_ok || !administrators.m_ok || !localService.m_ok) return ::GetLastError();

  EXPLICIT_ACCESS_A entries[] = {Allow(system, GENERIC_ALL), Allow(administrators, GENERIC_ALL),
                                 Allow(localService, GENERIC_READ)};
  PACL list = nullptr;
  const DWORD made = ::SetEntriesInAclA(serviceReads ? 3 : 2, entries, nullptr, &list);
  if (made != ERROR_SUCCESS) return made;
  const DWORD result =
      ::SetNamedSecurityInfoA(const_cast<char*>(fileName), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, list, nullptr);
  ::LocalFree(list);
  return result;
}

}  // namespace platform::detail
