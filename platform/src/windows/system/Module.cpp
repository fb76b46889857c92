#include "platform/Module.h"

namespace platform {

bool GetModuleHandleFromAddress(const void* address, HMODULE* module) {
  return GetModuleHandleExA(
             GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
             static_cast<LPCSTR>(address), module) != FALSE;
}

}  // namespace platform
