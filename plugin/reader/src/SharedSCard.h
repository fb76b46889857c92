// The PC/SC table the reader access shares its readers through: a direct
// connection must reserve the reader, as the service's does.
#pragma once

#include <memory>

#include "brixon/LoadLibraries.h"

namespace qvx::brixon {

// On Linux pcsc-lite reserves nothing for a direct connection, so the
// table goes behind the machine-wide direct-share lock; winscard reserves
// the reader itself.
std::shared_ptr<platform::ISCard> SharedSCard(std::shared_ptr<CLoadLibraries> loaded);

}  // namespace qvx::brixon
