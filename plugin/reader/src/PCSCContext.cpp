#include "brixon/PCSCContext.h"

#include "brixon/Error.h"

namespace qvx::brixon {

CPCSCContext::CPCSCContext(std::shared_ptr<platform::ISCard> library)
    : m_library(std::move(library)) {}

CPCSCContext::~CPCSCContext() {
  try {
    Release();
  } catch (const CError&) {
    // Logged when it was built.
  }
}

void CPCSCContext::Establish() {
  const ::LONG result = m_library->EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &m_context);
  if (result != SCARD_S_SUCCESS) {
    throw CError("CPCSCContext::Establish()", "SCardEstablishContext() failed.",
                 static_cast<std::uint32_t>(result));
  }
  m_valid = true;
}

::SCARDCONTEXT CPCSCContext::Detach() {
  const ::SCARDCONTEXT context = m_valid ? m_context : 0;
  m_valid = false;
  m_context = 0;
  return context;
}

void CPCSCContext::Release() {
  if (!m_valid) return;
  m_valid = false;
  const ::LONG result = m_library->ReleaseContext(m_context);
  m_context = 0;
  if (result != SCARD_S_SUCCESS) {
    throw CError("CPCSCContext::Release()", "SCardReleaseContext() failed.",
                 static_cast<std::uint32_t>(result));
  }
}

}  // namespace qvx::brixon
