// The driver's debug lines go to pcscd's log.
#pragma once

namespace qvx::driver {

// Points DbgPrint at pcscd's log_msg. Without log_msg in the process (the
// module loaded by something other than pcscd) the lines are dropped.
void RouteDebugLinesToPcscd();

}  // namespace qvx::driver
