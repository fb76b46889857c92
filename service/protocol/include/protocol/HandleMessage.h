// HandleMessage: one received payload decoded and run, or refused.
#pragma once

#include <string>

#include "protocol/DispatchCommand.h"

namespace qvx::protocol {

struct HandledMessage {
  bool accepted = false;
  std::string reply;  // meaningful when accepted
};

// A refusal has already written its two log lines; the caller closes the
// connection.
HandledMessage HandleMessage(const CommandFactory& factory, const std::string& payload);

}  // namespace qvx::protocol
