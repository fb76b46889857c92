// Who started the host, from the arguments the browser passes.
#pragma once

#include <string>
#include <vector>

namespace qvx::nmhost {

// Chromium, Chrome and Edge pass the caller's origin (on Windows followed by
// --parent-window=N); Firefox passes the manifest's path and the
// extension's id. `args` are the program's arguments without its name; ""
// when there are none.
std::string CallerOf(const std::vector<std::string>& args);

}  // namespace qvx::nmhost
