// What the plug-in's command object needs of its reader access (CPCSC):
// one vendor request at a time, and the cancellation of a pending one.
#pragma once

#include <functional>
#include <memory>

#include "command/Channel.h"

namespace qvx::brixon {

class IReaderAccess : public IDeviceChannel {
 public:
  // Execute(index, request), inherited: runs one vendor request (CPCSC's
  // Control) and returns the device's answer; raises CError on failure,
  // with status 15 when another session cancelled the request.

  // Cancels the request pending on this access, if any; raises CError on
  // failure. May run while Execute waits on the same thread (re-entrantly
  // from a dispatched window message).
  virtual void Cancel() = 0;
};

// Creates the reader access; raises CError when it cannot be created. The
// command object calls it on demand, again after a failure.
using ReaderAccessFactory = std::function<std::unique_ptr<IReaderAccess>()>;

}  // namespace qvx::brixon
