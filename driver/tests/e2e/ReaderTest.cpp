// The driver as a PC/SC reader, over plain pcsc-lite: card movements seen
// by SCardGetStatusChange, the identification APDU it answers itself, and
// the vendor codes that have no command behind them.
#include <PCSC/winscard.h>

#include <cstdint>
#include <string>
#include <vector>

#include "E2eFixture.h"

namespace qvx::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class Reader : public SharedStackTest {
 protected:
  void SetUp() override {
    SharedStackTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &m_context),
              SCARD_S_SUCCESS);
    // The reset puts a fresh card in (a removal and an insertion), which
    // pcscd may still be passing on: start once it shows the card.
    m_state = NextState(SCARD_STATE_UNAWARE);
    if ((m_state & SCARD_STATE_PRESENT) == 0) m_state = NextState(m_state & ~SCARD_STATE_CHANGED);
    ASSERT_TRUE(m_state & SCARD_STATE_PRESENT) << std::hex << m_state;
  }
  void TearDown() override {
    if (m_card != 0) SCardDisconnect(m_card, SCARD_LEAVE_CARD);
    if (m_context != 0) SCardReleaseContext(m_context);
  }

  // The reader's state once it differs from `known` (within 5 s).
  DWORD NextState(DWORD known) {
    const std::string name = ReaderName(0);
    SCARD_READERSTATE state{};
    state.szReader = name.c_str();
    state.dwCurrentState = known;
    const LONG rc = SCardGetStatusChange(m_context, 5000, &state, 1);
    EXPECT_EQ(rc, SCARD_S_SUCCESS) << pcsc_stringify_error(rc);
    return state.dwEventState;
  }

  void Connect(DWORD shareMode, DWORD protocols) {
    const LONG rc =
        SCardConnect(m_context, ReaderName(0).c_str(), shareMode, protocols, &m_card, &m_protocol);
    ASSERT_EQ(rc, SCARD_S_SUCCESS) << pcsc_stringify_error(rc);
  }

  SCARDCONTEXT m_context = 0;
  DWORD m_state = 0;  // the reader's state when the test begins
  SCARDHANDLE m_card = 0;
  DWORD m_protocol = 0;
};

TEST_F(Reader, CardRemovalAndInsertionReachGetStatusChange) {
  DWORD state = m_state;
  stack().Control("remove");
  state = NextState(state & ~SCARD_STATE_CHANGED);
  EXPECT_TRUE(state & SCARD_STATE_EMPTY) << std::hex << state;
  EXPECT_FALSE(state & SCARD_STATE_PRESENT) << std::hex << state;

  stack().Control("insert");
  state = NextState(state & ~SCARD_STATE_CHANGED);
  EXPECT_TRUE(state & SCARD_STATE_PRESENT) << std::hex << state;
}

TEST_F(Reader, TransmitAnswersTheDriversOwnApdus) {
  struct ApduCase {
    const char* name;
    Bytes apdu;
    Bytes reply;
  };
  const std::vector<ApduCase> cases = {
      {"identification",
       {0x80, 0x12, 0x00, 0x01, 0x00},
       {0xD0, 0x07, 'Q', 'V', 'X', '2', 'R', 'D', 'R', 0x90, 0x00}},
      {"identification with data", {0x80, 0x12, 0x00, 0x01, 0x01, 0x00}, {0x6A, 0x86}},
      {"other P1 P2", {0x80, 0x12, 0x07, 0x07, 0x00}, {0x6A, 0x86}},
      {"other instruction", {0x80, 0x13, 0x00, 0x01, 0x00}, {0x69, 0x82}},
      {"other class", {0x00, 0xA4, 0x04, 0x00, 0x00}, {0x69, 0x82}},
  };
  Connect(SCARD_SHARE_SHARED, SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1);
  const SCARD_IO_REQUEST* pci = m_protocol == SCARD_PROTOCOL_T1 ? SCARD_PCI_T1 : SCARD_PCI_T0;
  stack().Control("trace clear");
  for (const ApduCase& c : cases) {
    unsigned char reply[258];
    DWORD length = sizeof reply;
    const LONG rc = SCardTransmit(m_card, pci, c.apdu.data(), static_cast<DWORD>(c.apdu.size()),
                                  nullptr, reply, &length);
    ASSERT_EQ(rc, SCARD_S_SUCCESS) << c.name << ": " << pcsc_stringify_error(rc);
    EXPECT_EQ(Bytes(reply, reply + length), c.reply) << c.name;
  }
  // None of them is the card's business: no command went to the device.
  EXPECT_TRUE(CommandsSent(TraceOf()).empty());
}

TEST_F(Reader, VendorCodesWithoutACommand) {
  constexpr DWORD kOpenCancelEvent = 0x31201C;
  constexpr DWORD kUnused = 0x312020;
  constexpr DWORD kIsCurrentReader = 0x312024;
  constexpr DWORD kGetLastError = 0x312028;
  Connect(SCARD_SHARE_DIRECT, 0);
  unsigned char answer[262];
  for (const DWORD code : {kOpenCancelEvent, kUnused}) {
    DWORD length = 99;
    EXPECT_EQ(SCardControl(m_card, code, nullptr, 0, answer, sizeof answer, &length),
              SCARD_S_SUCCESS)
        << std::hex << code;
    EXPECT_EQ(length, 0u) << std::hex << code;
  }
  DWORD length = 0;
  EXPECT_NE(SCardControl(m_card, kIsCurrentReader, nullptr, 0, answer, sizeof answer, &length),
            SCARD_S_SUCCESS);
  ASSERT_EQ(SCardControl(m_card, kGetLastError, nullptr, 0, answer, sizeof answer, &length),
            SCARD_S_SUCCESS);
  EXPECT_EQ(Bytes(answer, answer + length), Bytes(4, 0x00));
  EXPECT_TRUE(CommandsSent(TraceOf()).empty());
}

}  // namespace
}  // namespace qvx::testing
