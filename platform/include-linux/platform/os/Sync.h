// Events and mutexes, in-process or named, shaped after the Win32 calls.
//
// Named objects live in a machine-wide namespace shared by every process
// (the service, a plug-in host, the driver inside pcscd). Names starting
// with "Global\" go to the global namespace; other names to a per-user one.
// QVX_OBJECT_DIR relocates the whole namespace (tests use a private one).
// Named objects are always created with access for every account, and a
// process that dies releases whatever it held (a mutex it owned then reads
// as abandoned). A named object exists while at least one handle to it is
// open, as on Windows.
#pragma once

#include <string>

#include "platform/os/WinTypes.h"

namespace platform {

// Events. A null or empty name makes an in-process event. For a named event
// that already exists, the existing event is returned, its reset type and
// state are kept, and GetLastError() reads ERROR_ALREADY_EXISTS (otherwise
// ERROR_SUCCESS). Returns nullptr on failure.
// The security attributes are not taken (named objects are open to every
// account); Windows callers pass nullptr.
HANDLE CreateEvent(void* securityAttributes, bool manualReset, bool initialState, const char* name);
// Opens an existing named event; nullptr with ERROR_FILE_NOT_FOUND when no
// process holds it.
// The access rights are taken and not checked.
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD EVENT_MODIFY_STATE = 0x0002;
HANDLE OpenEvent(DWORD desiredAccess, bool inheritHandle, const char* name);
bool SetEvent(HANDLE event);
bool ResetEvent(HANDLE event);

// Mutexes. Ownership belongs to the handle (not to a thread): a second
// handle of the same name, even in the same process, has to wait. Any thread
// may release what its handle owns; a handle does not take its mutex
// recursively (a second wait on an owning handle waits for the release).
HANDLE CreateMutex(void* securityAttributes, bool initialOwner, const char* name);
bool ReleaseMutex(HANDLE mutex);

// Waits on events and mutexes. WAIT_OBJECT_0 + i for the signalled object
// (an automatic-reset event is reset, a mutex is taken), WAIT_ABANDONED + i
// for a mutex whose owner died while holding it (it is taken all the same),
// WAIT_TIMEOUT, or WAIT_FAILED. In-process and named objects may be mixed.
// With waitAll the objects are taken one after another within the time
// limit (not atomically); on timeout what was taken is given back.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, bool waitAll, DWORD milliseconds);

bool CloseHandle(HANDLE object);

// File descriptor that becomes readable while the object is signalled (for
// callers that multiplex with their own poll loop); -1 if there is none.
int PollDescriptor(HANDLE object);

// The directory that holds the named objects of one namespace ("Global\"
// or the per-user one); for diagnostics and tests.
std::string ObjectNamespaceDirectory(bool global);

}  // namespace platform

// The Win32 names, bare as the Windows headers make them (see docs/design.md).
using platform::CloseHandle;
using platform::CreateEvent;
using platform::CreateMutex;
using platform::EVENT_MODIFY_STATE;
using platform::OpenEvent;
using platform::ReleaseMutex;
using platform::ResetEvent;
using platform::SetEvent;
using platform::SYNCHRONIZE;
using platform::WaitForMultipleObjects;
using platform::WaitForSingleObject;
