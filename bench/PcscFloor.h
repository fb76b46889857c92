// The floor under CheckConnection: the device exchange the command makes,
// done straight over PC/SC through the same pcscd with nothing around it:
// connect in direct share mode, the version request, the last-error
// request, disconnect.
#pragma once

#include <string>

#include "platform/SCard.h"

namespace qvx::bench {

class CCheckConnectionFloor {
 public:
  // Establishes one context for all exchanges and uses reader 0 of the
  // stack; the stack's environment must be exported already.
  CCheckConnectionFloor();
  ~CCheckConnectionFloor();
  CCheckConnectionFloor(const CCheckConnectionFloor&) = delete;
  CCheckConnectionFloor& operator=(const CCheckConnectionFloor&) = delete;

  // One exchange; throws std::runtime_error when a call fails or the device
  // reports an error.
  void Exchange();
  // Asks pcscd for the reader list, as a command object does once per
  // context; throws std::runtime_error when that fails.
  void ListReaders();

 private:
  platform::ISCard& m_scard;
  SCARDCONTEXT m_context = 0;
  std::string m_reader;
};

}  // namespace qvx::bench
