// Where the endpoint serves from: the fixed ports and the PEM next to the
// program, unless a test or the demo moves them through the environment
// (QVX_WSS_PORTS="p1,p2,...", QVX_WSS_PEM_DIR=directory). Installed, the
// PEM comes from the unit's credentials ($CREDENTIALS_DIRECTORY).
#pragma once

#include <string>

#include "endpoint/WssServer.h"

namespace qvx::host {

// A problem with the environment is described in warning (and the fixed
// value kept); empty when there was none.
endpoint::WssSettings SettingsFromEnvironment(std::string& warning);

}  // namespace qvx::host
