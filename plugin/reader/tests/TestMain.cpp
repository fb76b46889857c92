#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TestSupport.h"

namespace qvxtest {

namespace {

std::string MakeDir() {
  char dir[] = "/tmp/qvx-plugin-reader-XXXXXX";
  if (::mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp failed");
  const std::string root = dir;
  ::setenv("QVX_OBJECT_DIR", (root + "/objects").c_str(), 1);
  ::setenv("QVX_REGISTRY_ROOT", (root + "/registry").c_str(), 1);
  ::setenv("QVX_DEVICE_DIR", (root + "/devices").c_str(), 1);
  ::setenv("TEMP", root.c_str(), 1);
  // Also when the process only lists its tests.
  std::atexit([] { std::system(("rm -rf '" + ReaderTestDir() + "'").c_str()); });
  return root;
}

// Before main: nothing may look at the environment earlier.
const bool kPrepared = !ReaderTestDir().empty();

}  // namespace

const std::string& ReaderTestDir() {
  static const std::string* dir = new std::string(MakeDir());  // outlives the clean-up at exit
  return *dir;
}

std::string PluginLog() {
  std::ifstream file(ReaderTestDir() + "/BRIXON_Log.txt");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace qvxtest
