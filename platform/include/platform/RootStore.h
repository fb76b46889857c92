// The machine's store of trusted roots, which Windows' own TLS and the
// browsers that use it (Chrome, Edge) read. The Windows installer puts the
// machine's local root there and takes it out again; on Linux the package
// hands the root to each browser's policy instead, so there is no store
// and both calls fail with ERROR_NOT_SUPPORTED.
#pragma once

#include <string>

namespace platform {

// Adds the certificate in PEM text to the machine's Root store, replacing
// the same one already there. False with the thread's last error set.
bool AddMachineRoot(const std::string& pem);

// Removes every certificate of the machine's Root store whose subject is
// exactly the common name commonName; none there counts as removed.
bool RemoveMachineRoots(const std::string& commonName);

}  // namespace platform
