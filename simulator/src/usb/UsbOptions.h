// How qvxsim presents itself as an emulated USB device (qvxsim --usb).
#pragma once

#include <string>

#include "usb/Descriptors.h"

namespace qvx::sim::usb {

struct UsbOptions {
  Identity identity;
  bool unconfigured = false;  // plugged in without a configuration selected
  int port = 1;               // on the root hub: sysfs 1-PORT
  std::string
      testbedLink;  // a symlink to the umockdev testbed directory, for the clients' UMOCKDEV_DIR
};

}  // namespace qvx::sim::usb
