// Linux has no machine-wide root store the browsers read: the package's
// scripts write the root into each browser's policy.
#include "platform/RootStore.h"

#include "platform/System.h"

namespace platform {

bool AddMachineRoot(const std::string&) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool RemoveMachineRoots(const std::string&) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

}  // namespace platform
