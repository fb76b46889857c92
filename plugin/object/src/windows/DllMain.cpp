// The module's entry point: nothing here needs per-thread notifications.
#include "brixon/BrixonModule.h"
#include "platform/os/Windows.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    qvx::brixon::InitializeModule();
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Only on FreeLibrary: at process exit other threads are gone already
    // and the heap may be in any state.
    qvx::brixon::TerminateModule();
  }
  return TRUE;
}
