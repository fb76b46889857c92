// CPCSCContext: one PC/SC resource-manager context.
#pragma once

#include <memory>

#include "platform/SCard.h"

namespace qvx::brixon {

class CPCSCContext {
 public:
  explicit CPCSCContext(std::shared_ptr<platform::ISCard> library);
  ~CPCSCContext();  // releases; a failure is logged
  CPCSCContext(const CPCSCContext&) = delete;
  CPCSCContext& operator=(const CPCSCContext&) = delete;

  void Establish();  // raises "SCardEstablishContext() failed."
  void Release();    // raises "SCardReleaseContext() failed."
  ::SCARDCONTEXT Get() const { return m_context; }
  // Gives the context up without releasing it (someone else will).
  ::SCARDCONTEXT Detach();
  bool IsValid() const { return m_valid; }

 private:
  std::shared_ptr<platform::ISCard> m_library;
  ::SCARDCONTEXT m_context = 0;
  bool m_valid = false;
};

}  // namespace qvx::brixon
