#include "brixon/PCSC.h"

#include <set>
#include <vector>

#include "brixon/Error.h"
#include "brixon/LoadLibraries.h"
#include "brixon/Paths.h"
#include "SharedSCard.h"
#include "command/ReaderLookup.h"
#include "contract/ReaderName.h"
#include "platform/DeviceIo.h"
#include "platform/System.h"

namespace qvx::brixon {

namespace {

constexpr const char* kNotConnected = "The Quorvex2 is not connected to any USB port.";

// Threads of this process waiting for a device request.
CCriticalSection& BusySection() {
  static CCriticalSection section;
  return section;
}
std::set<platform::DWORD>& BusyThreads() {
  static std::set<platform::DWORD> threads;
  return threads;
}

std::uint32_t Code(::LONG result) { return static_cast<std::uint32_t>(result); }

}  // namespace

CPCSC::Options::Options() : directPath(UsesDirectPath()) {}

CPCSC::CPCSC() : CPCSC(Options()) {}

CPCSC::CPCSC(Options options)
    : m_directPath(options.directPath),
      m_library(std::move(options.library)),
      m_deviceMutexName(std::move(options.deviceMutexName)) {
  if (!m_library) {
    auto loaded = std::make_shared<CLoadLibraries>(!m_directPath);
    if (m_directPath) {
      m_library = std::move(loaded);
    } else {
      m_library = SharedSCard(std::move(loaded));
    }
  }
  if (!m_directPath) {
    m_context = std::make_unique<CPCSCContext>(m_library);
    m_context->Establish();
  }
  m_sessionCancel = std::make_unique<CSignal>(true, false, kSessionCancelEventName);
  m_data = std::make_shared<CControlData>(m_library, m_directPath);
  m_controlThread = std::make_unique<CControlThread>(m_data);
}

CPCSC::~CPCSC() {
  try {
    m_controlThread.reset();
    // A worker that did not stop in time may be inside a control call on the
    // connection: it closes the connection and the context itself when that
    // call returns. pcsc-lite would make a disconnect here wait for the call.
    if (m_data->exitCode.load() == kWorkerExitKilled &&
        m_data->HandOverToWorker(m_context ? m_context->Get() : 0)) {
      if (m_context) m_context->Detach();
      return;
    }
  } catch (...) {
    // A CError has logged itself; the connection still goes below.
  }
  DisconnectAtScopeExit();
}

Bytes CPCSC::Execute(contract::ControlIndex index, const Bytes& request) {
  Bytes answer;
  Control(index, request, answer);
  return answer;
}

void CPCSC::Control(contract::ControlIndex index, const Bytes& input, Bytes& output) {
  const std::uint32_t code = ControlCodeOf(index, m_directPath);
  m_displayName = DisplayNameOf(index, m_directPath);
  RefreshReaderCancelSignal();
  CSystemCS exclusive(m_deviceMutexName, m_data->readerCancelSignal.get());

  // Runs at scope exit, also when a step raises; before the mutex goes.
  struct Leave {
    CPCSC& self;
    bool busy = false;
    ~Leave() {
      self.DisconnectAtScopeExit();
      if (busy) {
        CProcessCS lock(BusySection());
        BusyThreads().erase(GetCurrentThreadId());
      }
    }
  } leave{*this};

  Connect();
  m_controlThread->Start(code, m_displayName, input);
  {
    CProcessCS lock(BusySection());
    leave.busy = BusyThreads().insert(GetCurrentThreadId()).second;
  }
  WaitForCompletion();
  output = m_data->response;
}

void CPCSC::Cancel() {
  // Inside our own wait the completion cannot be waited for here (the wait
  // resumes only when this message handler returns); the session cancel
  // signal ends the wait instead, even when the device ignores the abort.
  if (m_waitingThread.load() == GetCurrentThreadId() && IsBusy()) {
    m_sessionCancel->Signal();
    return;
  }
  Cancel(true);
}

void CPCSC::Cancel(bool onlyIfBusy) { m_controlThread->Cancel(m_readerName, onlyIfBusy); }

bool CPCSC::IsBusy() const { return !m_controlThread->IsIdle(); }

bool CPCSC::IsBusyThread(platform::DWORD threadId) {
  CProcessCS lock(BusySection());
  return BusyThreads().count(threadId) != 0;
}

std::string CPCSC::GetReaderNamePCSC() {
  constexpr const char* kLabel = "CPCSC::GetReaderNamePCSC()";
  std::string found;
  const ::LONG result = FindReaderName(*m_library, m_context->Get(), found);
  if (result == SCARD_E_NO_READERS_AVAILABLE) throw CError(kLabel, kNotConnected, Code(result));
  if (result != SCARD_S_SUCCESS) {
    throw CError(kLabel, "SCardListReaders() failed.", Code(result));
  }
  return found;
}

std::string CPCSC::GetReaderNameDirect() {
  constexpr const char* kLabel = "CPCSC::GetReaderNameDirect()";
  using namespace platform;
  HDEVINFO set = SetupDiGetClassDevsA(&kDirectInterfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == nullptr) throw CError(kLabel, "SetupDiGetClassDevs() failed.", GetLastError());
  struct Destroy {
    HDEVINFO set;
    ~Destroy() {
      if (!SetupDiDestroyDeviceInfoList(set)) {
        CError(kLabel, "SetupDiDestroyDeviceInfoList() failed.", GetLastError());
      }
    }
  } destroy{set};

  std::string path;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (platform::DWORD i = 0; path.empty(); ++i) {
    if (!SetupDiEnumDeviceInfo(set, i, &device)) {
      if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
      throw CError(kLabel, "SetupDiEnumDeviceInfo() failed.", GetLastError());
    }
    SP_DEVICE_INTERFACE_DATA deviceInterface{};
    deviceInterface.cbSize = sizeof deviceInterface;
    for (platform::DWORD j = 0; path.empty(); ++j) {
      if (!SetupDiEnumDeviceInterfaces(set, &device, &kDirectInterfaceClass, j, &deviceInterface)) {
        if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
        throw CError(kLabel, "SetupDiEnumDeviceInterfaces() failed.", GetLastError());
      }
      platform::DWORD size = 0;
      if (!SetupDiGetDeviceInterfaceDetailA(set, &deviceInterface, nullptr, 0, &size, nullptr) &&
          GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        throw CError(kLabel, "1. SetupDiGetDeviceInterfaceDetail() failed.", GetLastError());
      }
      // Zeroed and aligned for the record's header.
      std::vector<std::uint64_t> block((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (!SetupDiGetDeviceInterfaceDetailA(set, &deviceInterface, detail, size, nullptr,
                                            nullptr)) {
        throw CError(kLabel, "2. SetupDiGetDeviceInterfaceDetail() failed.", GetLastError());
      }
      path = detail->DevicePath;
    }
  }
  if (path.empty()) throw CError(kLabel, kNotConnected, ERROR_NO_MORE_ITEMS);
  return path;
}

void CPCSC::RefreshReaderCancelSignal() {
  const std::string name = m_directPath ? GetReaderNameDirect() : GetReaderNamePCSC();
  if (name == m_readerName && m_data->readerCancelSignal) return;
  m_readerName = name;
  if (name.empty()) return;  // no reader: nothing to cancel, the connect fails
  m_data->readerCancelSignal =
      std::make_unique<CSignal>(false, false, contract::CancelEventName(name));
  // Whoever creates the event has the driver open it too.
  m_sendOpenCancelEvent = !m_data->readerCancelSignal->AlreadyExisted();
}

void CPCSC::Connect() {
  if (m_directPath) {
    ConnectDirect();
  } else {
    ConnectPCSC();
  }
}

void CPCSC::ConnectPCSC() {
  constexpr const char* kLabel = "CPCSC::ConnectPCSC()";
  if (m_data->cardHandle.load() != 0) return;
  RefreshReaderCancelSignal();
  ::SCARDHANDLE card = 0;
  const ::LONG result =
      ConnectDirectShare(*m_library, m_context->Get(), m_readerName, card, [this] {
        if (m_data->readerCancelSignal) m_data->readerCancelSignal->Signal();
      });
  if (result != SCARD_S_SUCCESS) {
    throw CError(kLabel, "SCardConnect(" + m_readerName + ") failed.", Code(result));
  }
  m_data->cardHandle = card;
  if (m_sendOpenCancelEvent) {
    ::DWORD returned = 0;
    const ::LONG sent =
        m_library->Control(card, ControlCodeOf(contract::ControlIndex::OpenCancelEvent, false),
                           nullptr, 0, nullptr, 0, &returned);
    if (sent != SCARD_S_SUCCESS) {
      throw CError(kLabel,
                   "SCardControl(" + DisplayNameOf(contract::ControlIndex::OpenCancelEvent, false) +
                       ") failed.",
                   Code(sent));
    }
    m_sendOpenCancelEvent = false;
  }
}

void CPCSC::ConnectDirect() {
  if (m_data->deviceHandle.load() != nullptr) return;
  RefreshReaderCancelSignal();
  platform::HDEVICE device =
      CreateFileA(m_readerName.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (device == nullptr) {
    throw CError("CPCSC::ConnectDirect()", "CreateFile(" + m_readerName + ") failed.",
                 GetLastError());
  }
  m_data->deviceHandle = device;
}

void CPCSC::WaitForCompletion() {
  constexpr const char* kLabel = "CPCSC::WaitForCompletion()";
  int index = -1;
  struct Waiting {
    std::atomic<platform::DWORD>& thread;
    ~Waiting() { thread = 0; }
  } waiting{m_waitingThread};
  waiting.thread = GetCurrentThreadId();
  try {
    index = CSignal::WaitMsgMultiple({m_sessionCancel.get(), &m_data->completion}, INFINITE);
  } catch (const CError&) {
    // The wait ended early (a closing window, a quit): the device must not
    // go on with a request nobody waits for. A session cancel that came in
    // the same batch of messages is spent on this request too; left set, the
    // machine-wide signal would end the next request anywhere at once.
    try {
      m_sessionCancel->Reset();
      Cancel(true);
    } catch (const CError&) {
    }
    throw;
  }
  waiting.thread = 0;
  if (index == 0) {
    m_sessionCancel->Reset();
    Cancel(true);
    throw CError(kLabel, "Command Cancelled by other session.", kCancelledByOtherSessionCode,
                 LEVEL_ERROR, kStatusCancelByOtherSession);
  }
  if (index != 1) throw CError(kLabel, "Invalid signal index.", 0);

  const std::uint32_t result = m_data->resultCode;
  if (result == 0) return;
  if (result == kCancelledByOtherSessionCode) {
    throw CError(kLabel, "Command Cancelled by other session.", result, LEVEL_ERROR,
                 kStatusCancelByOtherSession);
  }
  const std::string extended = m_data->GetExtendedErrorText();
  if (result == Code(SCARD_E_CANCELLED)) {
    throw CError(kLabel, "Command " + m_displayName + " was cancelled." + extended, result);
  }
  const char* operation = m_directPath ? "DeviceIoControl" : "SCardControl";
  throw CError(kLabel, std::string(operation) + "(" + m_displayName + ") failed." + extended,
               result);
}

void CPCSC::Disconnect() {
  if (!m_controlThread->IsIdle()) {
    throw CError("CPCSC::Disconnect()", "Not possible to disconnect when command still pending.", 0,
                 LEVEL_ERROR, std::nullopt, "Driver/QVX");
  }
  if (platform::HDEVICE device = m_data->deviceHandle.exchange(nullptr)) {
    CloseHandle(device);
  }
}

void CPCSC::DisconnectPCSC() {
  constexpr const char* kLabel = "CPCSC::DisconnectPCSC()";
  if (m_controlThread && !m_controlThread->IsIdle()) {
    throw CError(kLabel, "Not possible to disconnect when command still pending.", 0, LEVEL_ERROR,
                 std::nullopt, "Driver/QVX");
  }
  const ::SCARDHANDLE card = m_data->cardHandle.exchange(0);
  if (card == 0) return;
  const ::LONG result = m_library->Disconnect(card, SCARD_LEAVE_CARD);
  if (result != SCARD_S_SUCCESS) throw CError(kLabel, "SCardDisconnect() failed.", Code(result));
}

void CPCSC::ForceDisconnectPCSC() {
  const ::SCARDHANDLE card = m_data->cardHandle.exchange(0);
  if (card == 0) return;
  const ::LONG result = m_library->Disconnect(card, SCARD_LEAVE_CARD);
  if (result != SCARD_S_SUCCESS) {
    throw CError("CPCSC::ForceDisconnectPCSC()", "SCardDisconnect() failed.", Code(result));
  }
}

void CPCSC::DisconnectAtScopeExit() noexcept {
  try {
    if (!m_controlThread) {
      // Destruction: the worker is gone or let go; the connection goes.
      if (m_directPath) {
        if (platform::HDEVICE device = m_data->deviceHandle.exchange(nullptr)) {
          CloseHandle(device);
        }
      } else {
        ForceDisconnectPCSC();
      }
    } else if (m_directPath) {
      Disconnect();
    } else {
      DisconnectPCSC();
    }
  } catch (...) {
    // A CError has logged itself; nothing may leave a scope exit.
  }
}

}  // namespace qvx::brixon
