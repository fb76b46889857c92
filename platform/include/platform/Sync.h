// Events, mutexes and waits in Win32 shape: CreateEvent, OpenEvent, SetEvent,
// ResetEvent, CreateMutex, ReleaseMutex, WaitForSingleObject,
// WaitForMultipleObjects, CloseHandle.
#pragma once

#include "platform/os/Sync.h"
