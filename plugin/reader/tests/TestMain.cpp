#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "PrivateDir.h"
#include "TestSupport.h"

namespace qvx::testing {

namespace {

// Removed at exit, after everything made later (the plug-in's log) has gone.
qvx::testing::PrivateDir& Dir() {
  static qvx::testing::PrivateDir dir("qvx-plugin-reader");
  return dir;
}

// Before main: nothing may look at the environment earlier.
const bool kPrepared = [] {
  Dir().Export("QVX_OBJECT_DIR", "objects");
  Dir().Export("QVX_REGISTRY_ROOT", "registry");
  Dir().Export("QVX_DEVICE_DIR", "devices");
  Dir().Export("TEMP");
  return true;
}();

}  // namespace

const std::string& ReaderTestDir() { return Dir().Path(); }

std::string PluginLog() {
  std::ifstream file(ReaderTestDir() + "/BRIXON_Log.txt");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

qvx::brixon::CError RunExpectingError(qvx::brixon::CPCSC& pcsc) {
  try {
    pcsc.Execute(qvx::contract::ControlIndex::CheckCard, {0x01});
  } catch (const qvx::brixon::CError& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return qvx::brixon::CError("", "");
}

}  // namespace qvx::testing
