// The readers the driver offers: every present device interface of the
// smart-card reader class, named as the smart-card service names them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvx::testing::scard {

struct ReaderDevice {
  std::string name;  // "Meridel Quorvex2_Reader 0"
  std::string path;  // the interface's device path
};

// The reader's name from its vendor name, reader type (each as the driver
// returns it, possibly with its terminating zero) and unit.
std::string ReaderName(const std::string& vendor, const std::string& type, ULONG unit);

// The present readers in the order the interfaces are listed; a reader whose
// attributes cannot be read (going away, or not started yet) is left out.
// A reader's name is read from the driver once and then from the service's
// record (the registry), which forgets readers that have gone.
std::vector<ReaderDevice> FindReaders();

// Makes the reader's named cancel event, a manual-reset one as the driver's
// is, unless it exists, and keeps it for the life of the process. Under
// Wine the driver's watcher is never woken by an automatic-reset event a
// host made first (the plug-in makes its own so), where Windows' driver
// would open and watch whatever the host made.
void KeepCancelEvent(const std::string& reader);

}  // namespace qvx::testing::scard
