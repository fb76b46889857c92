#include "StatusChange.h"

#include <winioctl.h>
#include <winsmcrd.h>

#include <algorithm>
#include <memory>

#include "ReaderDevices.h"

namespace qvx::testing::scard {

namespace {

// Readers appearing or going are not announced to a program here: while
// someone waits for that, the list is read again this often.
constexpr DWORD kRelistMs = 200;

constexpr DWORD kCompared = SCARD_STATE_EMPTY | SCARD_STATE_PRESENT | SCARD_STATE_UNKNOWN |
                            SCARD_STATE_UNAVAILABLE | SCARD_STATE_MUTE;

// A pending IS_PRESENT or IS_ABSENT on one reader.
class CTracking {
 public:
  CTracking(const std::string& path, DWORD code) : m_file(path) {
    m_overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_overlapped.hEvent == nullptr || !m_file.Open()) return;
    DWORD returned = 0;
    if (DeviceIoControl(m_file.Handle(), code, nullptr, 0, nullptr, 0, &returned, &m_overlapped) ||
        GetLastError() == ERROR_IO_PENDING) {
      m_pending = true;
    }
  }
  ~CTracking() {
    if (m_pending) {
      DWORD returned = 0;
      CancelIoEx(m_file.Handle(), &m_overlapped);
      GetOverlappedResult(m_file.Handle(), &m_overlapped, &returned, TRUE);
    }
    if (m_overlapped.hEvent != nullptr) CloseHandle(m_overlapped.hEvent);
  }
  CTracking(const CTracking&) = delete;
  CTracking& operator=(const CTracking&) = delete;

  // False when the driver would not track (the caller then looks again).
  bool Pending() const { return m_pending; }
  HANDLE Event() const { return m_overlapped.hEvent; }
  // Ended with an error rather than with the card's change.
  bool Failed() {
    DWORD returned = 0;
    if (GetOverlappedResult(m_file.Handle(), &m_overlapped, &returned, FALSE)) return false;
    return GetLastError() != ERROR_IO_INCOMPLETE;
  }

 private:
  CDeviceFile m_file;
  OVERLAPPED m_overlapped{};
  bool m_pending = false;
};

DWORD CardState(const std::string& path) {
  CDeviceFile file(path);
  Bytes out(sizeof(ULONG));
  if (!file.Open() || file.Control(IOCTL_SMARTCARD_GET_STATE, nullptr, 0, &out) != ERROR_SUCCESS ||
      out.size() != sizeof(ULONG)) {
    return SCARD_UNKNOWN;
  }
  ULONG state = 0;
  std::copy(out.begin(), out.end(), reinterpret_cast<BYTE*>(&state));
  return state;
}

// The entry's state now; its tracking code when it can be waited on.
DWORD Observe(const std::vector<ReaderDevice>& present, WatchedReader& entry, DWORD* trackCode,
              std::string* path) {
  *trackCode = 0;
  if (entry.name == kPnpNotification) {
    return static_cast<DWORD>(present.size()) << 16;
  }
  const auto found = std::find_if(present.begin(), present.end(),
                                  [&](const ReaderDevice& r) { return r.name == entry.name; });
  if (found == present.end()) return SCARD_STATE_UNKNOWN | SCARD_STATE_IGNORE;
  *path = found->path;
  const DWORD state = CardState(found->path);
  if (state == SCARD_UNKNOWN) return SCARD_STATE_UNAVAILABLE;
  if (state == SCARD_ABSENT) {
    *trackCode = IOCTL_SMARTCARD_IS_PRESENT;
    return SCARD_STATE_EMPTY;
  }
  *trackCode = IOCTL_SMARTCARD_IS_ABSENT;
  return SCARD_STATE_PRESENT | (state == SCARD_SWALLOWED ? SCARD_STATE_MUTE : 0);
}

bool Differs(const WatchedReader& entry, DWORD now) {
  if (entry.current == SCARD_STATE_UNAWARE) return true;
  if (entry.name == kPnpNotification) return (entry.current >> 16) != (now >> 16);
  return (entry.current & kCompared) != (now & kCompared);
}

}  // namespace

LONG WaitForStatusChange(CContext& context, DWORD timeoutMs, std::vector<WatchedReader>* readers) {
  const ULONGLONG start = GetTickCount64();
  const HANDLE cancel = context.BeginWait();
  LONG result = SCARD_S_SUCCESS;
  // Once the driver fails a tracking request, the state is looked at again
  // instead of waited for, so a failing driver cannot make this spin.
  bool lookOnly = false;
  for (;;) {
    const std::vector<ReaderDevice> present = FindReaders();
    std::vector<std::unique_ptr<CTracking>> tracking;
    bool changed = false, relist = false;
    for (WatchedReader& entry : *readers) {
      if ((entry.current & SCARD_STATE_IGNORE) != 0) continue;
      DWORD code = 0;
      std::string path;
      const DWORD now = Observe(present, entry, &code, &path);
      entry.event = now;
      if (Differs(entry, now)) {
        entry.event |= SCARD_STATE_CHANGED;
        changed = true;
      }
      if (code != 0 && !lookOnly) {
        tracking.push_back(std::make_unique<CTracking>(path, code));
        relist = relist || !tracking.back()->Pending();
      } else {
        relist = true;
      }
    }
    if (changed) break;
    const ULONGLONG spent = GetTickCount64() - start;
    if (timeoutMs != INFINITE && spent >= timeoutMs) {
      result = static_cast<LONG>(SCARD_E_TIMEOUT);
      break;
    }
    DWORD limit = timeoutMs == INFINITE ? INFINITE : static_cast<DWORD>(timeoutMs - spent);
    if (relist) limit = std::min(limit, kRelistMs);
    std::vector<HANDLE> waits{cancel};
    std::vector<CTracking*> waited;
    for (const auto& pending : tracking) {
      if (!pending->Pending()) continue;
      waits.push_back(pending->Event());
      waited.push_back(pending.get());
    }
    const DWORD woke =
        WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, limit);
    if (woke == WAIT_OBJECT_0) {
      result = static_cast<LONG>(SCARD_E_CANCELLED);
      break;
    }
    if (woke == WAIT_FAILED) {
      result = static_cast<LONG>(SCARD_F_INTERNAL_ERROR);
      break;
    }
    if (woke > WAIT_OBJECT_0 && woke < WAIT_OBJECT_0 + waits.size() &&
        waited[woke - WAIT_OBJECT_0 - 1]->Failed()) {
      lookOnly = true;
    }
  }
  context.EndWait();
  return result;
}

}  // namespace qvx::testing::scard
