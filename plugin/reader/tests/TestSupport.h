// Every test process of the reader access runs in a private directory: the
// named-object namespace, the registry, the device root and the plug-in's
// log all live there (set up before the first test, removed after the last).
#pragma once

#include <string>

#include "Eventually.h"
#include "brixon/Error.h"
#include "brixon/PCSC.h"

namespace qvx::testing {

const std::string& ReaderTestDir();
// The plug-in's log so far.
std::string PluginLog();

// The error of a CheckCard that must fail.
qvx::brixon::CError RunExpectingError(qvx::brixon::CPCSC& pcsc);

using qvx::testing::Eventually;

}  // namespace qvx::testing
