// The full path of the module this code is linked into: what
// InprocServer32 names, and where the type library's resource lies.
#pragma once

#include <string>

namespace qvx::brixon {

// Empty when the system cannot tell.
std::string ModulePath();

}  // namespace qvx::brixon
