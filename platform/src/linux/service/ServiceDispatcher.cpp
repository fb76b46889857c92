// The inside of a service: the dispatcher that runs the service's main
// function and turns signals into controls, and the status reports.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Service.h"
#include "platform/posix/UniqueFd.h"
#include "service/ServiceFiles.h"
#include "system/PlatformError.h"

namespace platform {

struct ServiceRegistration {
  std::string name;
  std::atomic<LPHANDLER_FUNCTION> handler{nullptr};
  std::atomic<bool> stopped{false};
  UniqueFd wake;  // eventfd: a handler was registered or the service stopped
};

namespace {

std::mutex gDispatchMutex;
ServiceRegistration* gRegistration = nullptr;  // while a dispatcher runs

void Wake(ServiceRegistration& registration) {
  const std::uint64_t one = 1;
  (void)!::write(registration.wake.Get(), &one, sizeof one);
}

// Started by systemd (which sets these) or by any supervisor that gives no
// terminal; a person at a terminal gets the usage text instead.
bool StartedByServiceManager() {
  return std::getenv("NOTIFY_SOCKET") != nullptr || std::getenv("INVOCATION_ID") != nullptr ||
         ::isatty(STDIN_FILENO) == 0;
}

// sd_notify without libsystemd: one datagram to $NOTIFY_SOCKET.
void NotifySystemd(const std::string& message) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || (path[0] != '/' && path[0] != '@')) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t length = std::strlen(path);
  if (length >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, path, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // abstract namespace
  UniqueFd socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) return;
  (void)::sendto(socket.Get(), message.data(), message.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&address),
                 static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
}

std::string SystemdMessage(const SERVICE_STATUS& status) {
  switch (status.dwCurrentState) {
    case SERVICE_START_PENDING:
      return "STATUS=Starting";
    case SERVICE_RUNNING:
      return "READY=1\nSTATUS=Running";
    case SERVICE_STOP_PENDING:
      return "STOPPING=1\nSTATUS=Stopping";
    case SERVICE_STOPPED:
      return "STATUS=Stopped\nERRNO=" + std::to_string(status.dwWin32ExitCode);
    default:
      return "STATUS=State " + std::to_string(status.dwCurrentState);
  }
}

DWORD ControlFor(int signal) {
  return signal == SIGPWR ? SERVICE_CONTROL_SHUTDOWN : SERVICE_CONTROL_STOP;
}

}  // namespace

bool StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table) {
  return detail::AtEdge(false, [&] {
    if (table == nullptr || table[0].lpServiceName == nullptr ||
        table[0].lpServiceProc == nullptr) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    if (!StartedByServiceManager()) detail::ThrowError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);

    ServiceRegistration registration;
    registration.name = table[0].lpServiceName;
    registration.wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!registration.wake.Valid()) detail::ThrowErrno(errno);

    // Every thread the service starts inherits this mask, so the controls
    // reach only the signal descriptor read here.
    sigset_t controls;
    sigemptyset(&controls);
    for (int signal : {SIGTERM, SIGINT, SIGPWR}) sigaddset(&controls, signal);
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &controls, &previous);
    UniqueFd signals(::signalfd(-1, &controls, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!signals.Valid()) detail::ThrowErrno(errno);
    {
      std::lock_guard<std::mutex> lock(gDispatchMutex);
      if (gRegistration != nullptr) detail::ThrowError(ERROR_SERVICE_ALREADY_RUNNING);
      gRegistration = &registration;
    }

    std::string argument0 = registration.name;
    char* argv[] = {argument0.data(), nullptr};
    const LPSERVICE_MAIN_FUNCTIONA main = table[0].lpServiceProc;
    std::atomic<bool> mainReturned{false};
    DWORD mainError = ERROR_SUCCESS;
    std::thread serviceThread([&] {
      main(1, argv);
      mainError = GetLastError();
      mainReturned = true;
      Wake(registration);
    });

    // Controls wait in the signal queue until the service has a handler.
    while (!registration.stopped) {
      const LPHANDLER_FUNCTION handler = registration.handler.load();
      if (handler == nullptr && mainReturned) break;
      pollfd fds[2] = {{registration.wake.Get(), POLLIN, 0}, {signals.Get(), POLLIN, 0}};
      const nfds_t count = handler != nullptr ? 2 : 1;
      if (::poll(fds, count, -1) < 0 && errno != EINTR) break;
      std::uint64_t drained = 0;
      (void)!::read(registration.wake.Get(), &drained, sizeof drained);
      signalfd_siginfo info{};
      if (count == 2 && ::read(signals.Get(), &info, sizeof info) == sizeof info) {
        handler(ControlFor(static_cast<int>(info.ssi_signo)));
      }
    }
    serviceThread.join();
    if (registration.handler.load() == nullptr) {
      // The main function gave up before it could report: the service is
      // stopped with the error it left.
      SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, mainError, 0, 0, 0};
      SetServiceStatus(&registration, &status);
    }
    {
      std::lock_guard<std::mutex> lock(gDispatchMutex);
      gRegistration = nullptr;
    }
    // A stop control that came while the service stopped found it stopping
    // already: it is dropped, and the controls stay blocked, so one that is
    // still pending or comes while the program winds down cannot end the
    // process by the signal's default action.
    signalfd_siginfo dropped{};
    while (::read(signals.Get(), &dropped, sizeof dropped) == sizeof dropped) {
    }
    for (int signal : {SIGTERM, SIGINT, SIGPWR}) sigaddset(&previous, signal);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
  });
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* serviceName,
                                                  LPHANDLER_FUNCTION handler) {
  return detail::AtEdge<SERVICE_STATUS_HANDLE>(nullptr, [&] {
    std::lock_guard<std::mutex> lock(gDispatchMutex);
    if (gRegistration == nullptr || serviceName == nullptr || gRegistration->name != serviceName) {
      detail::ThrowError(ERROR_SERVICE_DOES_NOT_EXIST);
    }
    if (handler == nullptr) detail::ThrowError(ERROR_INVALID_PARAMETER);
    gRegistration->handler = handler;
    Wake(*gRegistration);
    return gRegistration;
  });
}

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status) {
  return detail::AtEdge(false, [&] {
    if (handle == nullptr) detail::ThrowError(ERROR_INVALID_HANDLE);
    if (status == nullptr) detail::ThrowError(ERROR_INVALID_PARAMETER);
    detail::WriteState(handle->name, *status);
    NotifySystemd(SystemdMessage(*status));
    if (status->dwCurrentState == SERVICE_STOPPED) {
      handle->stopped = true;
      Wake(*handle);
    }
    return true;
  });
}

bool QueueUserWorkItem(LPTHREAD_START_ROUTINE routine, void* context, DWORD /*flags*/) {
  return detail::AtEdge(false, [&] {
    if (routine == nullptr) detail::ThrowError(ERROR_INVALID_PARAMETER);
    try {
      std::thread([routine, context] { routine(context); }).detach();
    } catch (const std::system_error&) {
      detail::ThrowError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return true;
  });
}

DWORD GetModuleFileNameA(void* module, char* fileName, DWORD size) {
  return detail::AtEdge<DWORD>(0, [&]() -> DWORD {
    if (module != nullptr || fileName == nullptr || size == 0) {
      detail::ThrowError(ERROR_INVALID_PARAMETER);
    }
    const ssize_t length = ::readlink("/proc/self/exe", fileName, size);
    if (length < 0) detail::ThrowErrno(errno);
    if (static_cast<DWORD>(length) >= size) {
      // Cut and terminated, as Windows does.
      fileName[size - 1] = '\0';
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return size;
    }
    fileName[length] = '\0';
    return static_cast<DWORD>(length);
  });
}

}  // namespace platform
