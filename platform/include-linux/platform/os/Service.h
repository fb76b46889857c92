// The service control manager on Linux in Win32 shape. A service is a
// systemd unit ("<name>.service" in the unit directory); its state lives in a
// state file the service writes on every status change, and stop and
// shutdown arrive as signals (SIGTERM or SIGINT, SIGPWR). When systemd runs
// and the unit directory is its own, installation also enables the unit,
// stopping goes through systemctl and the status reaches systemd through
// sd_notify.
#pragma once

#include <string>

#include "platform/os/WinTypes.h"

namespace platform {

struct ServiceObject;
using SC_HANDLE = ServiceObject*;
struct ServiceRegistration;
using SERVICE_STATUS_HANDLE = ServiceRegistration*;

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};

constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x00000010;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_CONTINUE_PENDING = 5;
constexpr DWORD SERVICE_PAUSE_PENDING = 6;
constexpr DWORD SERVICE_PAUSED = 7;

constexpr DWORD SERVICE_ACCEPT_STOP = 0x00000001;
constexpr DWORD SERVICE_ACCEPT_SHUTDOWN = 0x00000004;

constexpr DWORD SERVICE_CONTROL_STOP = 1;
constexpr DWORD SERVICE_CONTROL_PAUSE = 2;
constexpr DWORD SERVICE_CONTROL_CONTINUE = 3;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 4;
constexpr DWORD SERVICE_CONTROL_SHUTDOWN = 5;

constexpr DWORD SERVICE_AUTO_START = 0x00000002;
constexpr DWORD SERVICE_DEMAND_START = 0x00000003;
constexpr DWORD SERVICE_ERROR_NORMAL = 0x00000001;

// Access rights. Only the ones that need more than reading are checked:
// creating and deleting need a writable unit directory.
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD DELETE = 0x00010000;

constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
constexpr DWORD ERROR_SERVICE_EXISTS = 1073;
constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;

constexpr DWORD WT_EXECUTELONGFUNCTION = 0x00000010;

using LPSERVICE_MAIN_FUNCTIONA = void (*)(DWORD argc, char** argv);
using LPHANDLER_FUNCTION = void (*)(DWORD control);
using LPTHREAD_START_ROUTINE = DWORD (*)(void* context);

struct SERVICE_TABLE_ENTRYA {
  const char* lpServiceName;
  LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};

// --- inside the service ------------------------------------------------------

// Runs the first service of the table (own-process services have one): its
// main function on a thread of its own, the control handler on the calling
// thread. Returns once the service has reported SERVICE_STOPPED (or its main
// function returned without registering a handler). Fails with
// ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when the process was started from an
// interactive terminal rather than by systemd or another supervisor.
// Call it before starting any thread: it blocks the control signals in the
// calling thread, and later threads inherit that; they stay blocked on
// return (controls after the stop are dropped).
bool StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table);

// Only from inside the service's main function, for the dispatched name.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* serviceName,
                                                  LPHANDLER_FUNCTION handler);

bool SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status);

// Runs routine(context) on a thread of its own, detached.
bool QueueUserWorkItem(LPTHREAD_START_ROUTINE routine, void* context, DWORD flags);

// --- managing services -------------------------------------------------------

// machineName and databaseName must be null (the local machine).
SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD access);

// Writes the unit; the service is not started. An existing unit is never
// replaced (ERROR_SERVICE_EXISTS). The account "NT AUTHORITY\LOCAL SERVICE"
// becomes a dynamic unprivileged user with the service's state directory.
SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* serviceName, const char* displayName,
                         DWORD desiredAccess, DWORD serviceType, DWORD startType,
                         DWORD errorControl, const char* binaryPathName, const char* loadOrderGroup,
                         DWORD* tagId, const char* dependencies, const char* serviceStartName,
                         const char* password);

SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD desiredAccess);

// Only SERVICE_CONTROL_STOP is sent; ERROR_SERVICE_NOT_ACTIVE when the
// service does not run.
bool ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
bool QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);
bool DeleteService(SC_HANDLE service);

bool CloseServiceHandle(SC_HANDLE handle);

// The full path of the running program; module must be null.
DWORD GetModuleFileNameA(void* module, char* fileName, DWORD size);

// Where units and state files live: QVX_SYSTEMD_UNIT_DIR (default
// /etc/systemd/system) and QVX_SERVICE_STATE_DIR (default /run/<name>).
std::string ServiceUnitDirectory();
std::string ServiceStateFile(const std::string& serviceName);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CloseServiceHandle;
using platform::ControlService;
using platform::CreateServiceA;
using platform::DELETE;
using platform::DeleteService;
using platform::GetModuleFileNameA;
using platform::OpenSCManagerA;
using platform::OpenServiceA;
using platform::QueryServiceStatus;
using platform::QueueUserWorkItem;
using platform::RegisterServiceCtrlHandlerA;
using platform::SC_MANAGER_CONNECT;
using platform::SC_MANAGER_CREATE_SERVICE;
using platform::SERVICE_ACCEPT_SHUTDOWN;
using platform::SERVICE_ACCEPT_STOP;
using platform::SERVICE_AUTO_START;
using platform::SERVICE_CHANGE_CONFIG;
using platform::SERVICE_CONTINUE_PENDING;
using platform::SERVICE_CONTROL_CONTINUE;
using platform::SERVICE_CONTROL_PAUSE;
using platform::SERVICE_CONTROL_SHUTDOWN;
using platform::SERVICE_CONTROL_STOP;
using platform::SERVICE_ERROR_NORMAL;
using platform::SERVICE_PAUSE_PENDING;
using platform::SERVICE_PAUSED;
using platform::SERVICE_QUERY_STATUS;
using platform::SERVICE_RUNNING;
using platform::SERVICE_START_PENDING;
using platform::SERVICE_STOP;
using platform::SERVICE_STOP_PENDING;
using platform::SERVICE_STOPPED;
using platform::SERVICE_WIN32_OWN_PROCESS;
using platform::SetServiceStatus;
using platform::StartServiceCtrlDispatcherA;
using platform::WT_EXECUTELONGFUNCTION;
