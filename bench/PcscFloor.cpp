#include "PcscFloor.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "Stack.h"
#include "command/Reader.h"
#include "contract/ControlCodes.h"
#include "contract/LastError.h"

namespace qvx::bench {

namespace {

[[noreturn]] void Fail(const char* call, LONG result) {
  char text[120];
  std::snprintf(text, sizeof text, "%s failed: 0x%08lX", call, static_cast<unsigned long>(result));
  throw std::runtime_error(text);
}

}  // namespace

CCheckConnectionFloor::CCheckConnectionFloor()
    : m_scard(platform::SystemSCard()), m_reader(qvx::testing::ReaderName(0)) {
  const LONG result = m_scard.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &m_context);
  if (result != SCARD_S_SUCCESS) Fail("SCardEstablishContext", result);
}

CCheckConnectionFloor::~CCheckConnectionFloor() { m_scard.ReleaseContext(m_context); }

void CCheckConnectionFloor::ListReaders() {
  char* names = nullptr;
  ::DWORD length = SCARD_AUTOALLOCATE;
  // With SCARD_AUTOALLOCATE the call stores a pointer to its own buffer.
  const LONG result =
      m_scard.ListReaders(m_context, nullptr, reinterpret_cast<LPSTR>(&names), &length);
  if (result != SCARD_S_SUCCESS) Fail("SCardListReaders", result);
  m_scard.FreeMemory(m_context, names);
}

void CCheckConnectionFloor::Exchange() {
  SCARDHANDLE card = 0;
  ::DWORD protocol = 0;
  LONG result =
      m_scard.Connect(m_context, m_reader.c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol);
  if (result != SCARD_S_SUCCESS) Fail("SCardConnect", result);

  std::array<std::uint8_t, qvx::kAnswerBufferSize> answer{};
  ::DWORD answerLength = 0;
  result = m_scard.Control(
      card, qvx::contract::ControlCode(qvx::contract::ControlIndex::CheckDevice).pcscCode, nullptr,
      0, answer.data(), static_cast<::DWORD>(answer.size()), &answerLength);
  qvx::contract::LastErrorRecord record{};
  ::DWORD recordLength = 0;
  if (result == SCARD_S_SUCCESS) {
    result = m_scard.Control(
        card, qvx::contract::ControlCode(qvx::contract::ControlIndex::GetLastError).pcscCode,
        nullptr, 0, record.data(), static_cast<::DWORD>(record.size()), &recordLength);
  }
  const LONG disconnected = m_scard.Disconnect(card, SCARD_LEAVE_CARD);
  if (result != SCARD_S_SUCCESS) Fail("SCardControl", result);
  if (disconnected != SCARD_S_SUCCESS) Fail("SCardDisconnect", disconnected);
  if (answerLength == 0) throw std::runtime_error("the device sent no versions");
  for (const std::uint8_t byte : record) {
    if (byte != 0) throw std::runtime_error("the device reported an error");
  }
}

}  // namespace qvx::bench
