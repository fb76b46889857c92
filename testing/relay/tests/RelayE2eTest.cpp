// qvx-scard-relay in front of a private stack, driven as winscard.dll drives
// it: the exchange of a connection check, the exclusivity of a direct
// connection across relay connections, a killed holder, the cancel event
// and malformed requests.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <thread>

#include "Eventually.h"
#include "PrivateDir.h"
#include "RelayClient.h"
#include "StackFixture.h"
#include "Subprocess.h"
#include "contract/ControlCodes.h"

#ifndef QVX_SCARD_RELAY_PATH
#error "the build passes the relay's path"
#endif

namespace qvx::testing::relay {
namespace {

constexpr std::uint32_t kSuccess = 0;
constexpr std::uint32_t kShareDirect = 3;  // SCARD_SHARE_DIRECT
constexpr std::uint32_t kSharingViolation = 0x8010000B;
constexpr std::uint32_t kUnknownReader = 0x80100009;

std::uint32_t Code(contract::ControlIndex index) { return contract::ControlCode(index).pcscCode; }

class RelayTest : public ProcessStackTest {
 protected:
  void SetUp() override {
    ProcessStackTest::SetUp();
    if (m_stack == nullptr) return;
    const std::string portFile = m_dir / "port";
    m_relay = std::make_unique<Child>(
        std::vector<std::string>{QVX_SCARD_RELAY_PATH, "--port-file", portFile}, m_stack->Env());
    // The relay writes its port once it accepts.
    ASSERT_TRUE(Eventually([&] { return std::ifstream(portFile).good(); }))
        << "qvx-scard-relay did not come up";
    std::ifstream(portFile) >> m_port;
    ASSERT_NE(m_port, 0);
  }

  // A client with a context, as SCardEstablishContext leaves it.
  std::unique_ptr<CRelayClient> NewClient() {
    auto client = std::make_unique<CRelayClient>(m_port);
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(client->EstablishContext(), kSuccess);
    return client;
  }

  PrivateDir m_dir{"qvx-relay"};
  std::unique_ptr<Child> m_relay;
  std::uint16_t m_port = 0;
};

TEST_F(RelayTest, CarriesTheExchangeOfAConnectionCheck) {
  auto client = NewClient();
  std::string names;
  ASSERT_EQ(client->ListReaders(&names), kSuccess);
  EXPECT_NE(names.find(ReaderName(0)), std::string::npos) << names;

  ASSERT_EQ(client->Connect(ReaderName(0), kShareDirect), kSuccess);
  wire::Bytes answer;
  ASSERT_EQ(client->Control(Code(contract::ControlIndex::CheckDevice), {}, &answer), kSuccess);
  EXPECT_FALSE(answer.empty());  // the device's versions
  wire::Bytes record;
  ASSERT_EQ(client->Control(Code(contract::ControlIndex::GetLastError), {}, &record), kSuccess);
  ASSERT_EQ(record.size(), 4u);
  EXPECT_EQ(record, wire::Bytes(4, 0)) << "the device reported a failure";

  std::string statusNames;
  ASSERT_EQ(client->Status(&statusNames), kSuccess);
  EXPECT_EQ(statusNames.c_str(), ReaderName(0));
  EXPECT_EQ(client->Disconnect(), kSuccess);
  EXPECT_EQ(client->ReleaseContext(), kSuccess);
}

TEST_F(RelayTest, ADirectConnectionExcludesOtherConnectionsUntilItEnds) {
  auto holder = NewClient();
  auto newcomer = NewClient();
  ASSERT_EQ(holder->Connect(ReaderName(0), kShareDirect), kSuccess);
  EXPECT_EQ(newcomer->Connect(ReaderName(0), kShareDirect), kSharingViolation);
  ASSERT_EQ(holder->Disconnect(), kSuccess);
  EXPECT_EQ(newcomer->Connect(ReaderName(0), kShareDirect), kSuccess);
  EXPECT_EQ(newcomer->Disconnect(), kSuccess);
}

// A client killed in the middle of a request must free the reader at once,
// as a killed Linux process does: the serving process ends on the hang-up,
// and the newcomer's abandoned-lock path aborts the dead request.
TEST_F(RelayTest, AClientKilledMidRequestLetsANewcomerIn) {
  m_stack->Control("customer never");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    ::close(ready[0]);
    CRelayClient client(m_port);
    const bool connected = client.EstablishContext() == kSuccess &&
                           client.Connect(ReaderName(0), kShareDirect) == kSuccess;
    const char state = connected ? 'y' : 'n';
    if (::write(ready[1], &state, 1) != 1 || !connected) ::_exit(1);
    wire::Bytes answer;
    client.Control(Code(contract::ControlIndex::GetMode2Response), {}, &answer);
    ::_exit(2);  // the request must not end before the kill
  }
  ::close(ready[1]);
  char state = 0;
  ASSERT_EQ(::read(ready[0], &state, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(state, 'y');
  ASSERT_TRUE(DeviceWaits(*m_stack)) << "the holder's request never reached the device";

  auto newcomer = NewClient();
  EXPECT_EQ(newcomer->Connect(ReaderName(0), kShareDirect), kSharingViolation);
  ::kill(holder, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(holder, &status, 0), holder);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the holder's request ended by itself";

  // The customer still never answers: only the end of the serving process
  // ends the request, well inside the device's keypad time-out.
  EXPECT_TRUE(Eventually([&] { return newcomer->Connect(ReaderName(0), kShareDirect) == kSuccess; },
                         std::chrono::seconds(5)));
  wire::Bytes answer;
  EXPECT_EQ(newcomer->Control(Code(contract::ControlIndex::CheckDevice), {}, &answer), kSuccess);
  EXPECT_EQ(newcomer->Disconnect(), kSuccess);
}

TEST_F(RelayTest, SettingTheCancelEventEndsTheHoldersPendingRequest) {
  m_stack->Control("customer never");
  auto holder = NewClient();
  ASSERT_EQ(holder->Connect(ReaderName(0), kShareDirect), kSuccess);
  std::uint32_t result = CRelayClient::kNoReply;
  wire::Bytes record;
  std::thread request([&] {
    wire::Bytes answer;
    result = holder->Control(Code(contract::ControlIndex::GetMode2Response), {}, &answer);
    holder->Control(Code(contract::ControlIndex::GetLastError), {}, &record);
  });
  auto other = NewClient();
  const bool waited = DeviceWaits(*m_stack);
  EXPECT_TRUE(waited) << "the holder's request never reached the device";
  if (!waited) m_stack->Control("customer approve 0");  // lets the thread end
  EXPECT_EQ(other->SetCancelEvent(ReaderName(0)), kSuccess);
  request.join();  // the customer never answers: only the cancel ends the request
  if (!waited) return;
  EXPECT_NE(result, CRelayClient::kNoReply);
  ASSERT_EQ(record.size(), 4u);
  EXPECT_NE(record[0], 0) << "the cancelled request reported no failure";
  EXPECT_EQ(holder->Disconnect(), kSuccess);

  EXPECT_EQ(other->SetCancelEvent("no such reader"), kUnknownReader);
}

TEST_F(RelayTest, AMalformedRequestClosesTheConnection) {
  // An unknown operation, then a known one with a field missing.
  for (const wire::Bytes& body : {wire::Bytes{0x7F}, wire::Writer().U8(2).U32(1).Body()}) {
    CRelayClient client(m_port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.SendRaw(wire::FrameOf(body)));
    EXPECT_TRUE(client.ClosedByPeer());
  }
  // A header announcing more than a frame may hold.
  CRelayClient client(m_port);
  ASSERT_TRUE(client.SendRaw({0xFF, 0xFF, 0xFF, 0x7F}));
  EXPECT_TRUE(client.ClosedByPeer());
  // The relay itself serves on.
  EXPECT_EQ(NewClient()->ReleaseContext(), kSuccess);
}

}  // namespace
}  // namespace qvx::testing::relay
