// Modules over the dynamic loader. An HMODULE is the loader's own handle.
#include "platform/Module.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace platform {

namespace {

HMODULE AsModule(void* handle) { return static_cast<HMODULE>(handle); }
void* AsHandle(HMODULE module) { return static_cast<void*>(module); }

// The file the program was started from, links resolved by the kernel.
std::string ProgramFile() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string ModuleFile(HMODULE module) {
  if (module == nullptr) return ProgramFile();
  link_map* map = nullptr;
  if (::dlinfo(AsHandle(module), RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {};
  // The program's own entry has no name.
  if (map->l_name == nullptr || map->l_name[0] == '\0') return ProgramFile();
  char resolved[PATH_MAX];
  return ::realpath(map->l_name, resolved) != nullptr ? std::string(resolved) : std::string();
}

}  // namespace

HMODULE LoadLibrary(const char* fileName) {
  void* handle = fileName != nullptr ? ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return AsModule(handle);
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
  void* address = module != nullptr ? ::dlsym(AsHandle(module), procName) : nullptr;
  if (address == nullptr) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(address);
}

bool FreeLibrary(HMODULE module) {
  if (module == nullptr || ::dlclose(AsHandle(module)) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

bool GetModuleHandleFromAddress(const void* address, HMODULE* module) {
  *module = nullptr;
  Dl_info info{};
  link_map* map = nullptr;
  if (::dladdr1(address, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  const bool program = map->l_name == nullptr || map->l_name[0] == '\0';
  // Opening what is loaded already only finds its handle; closing it again
  // leaves the count as it was.
  void* handle = ::dlopen(program ? nullptr : map->l_name, RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return false;
  }
  ::dlclose(handle);
  *module = AsModule(handle);
  return true;
}

DWORD GetModuleFileName(HMODULE module, char* fileName, DWORD size) {
  const std::string path = ModuleFile(module);
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= size) {
    std::memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size - 1;
  }
  std::memcpy(fileName, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

}  // namespace platform
