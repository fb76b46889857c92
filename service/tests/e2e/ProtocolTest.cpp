// Pages talking to brixwssvr over secure WebSocket: the seven commands, the
// requests it refuses, the handshakes it refuses, a cancel from another
// page, and the ten command workers.
#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "ServiceFixture.h"

namespace qvx::testing {
namespace {

const std::string kSuccess = "Status=0\nStatusDescription=Success";
const std::string kCancelled = "Status=15\nStatusDescription=Cancel by other session\nResponse=";
const std::string kCheckConnection = R"({"Name":1,"Params":[]})";
const std::string kWaitingGetResponse = R"({"Name":3,"Params":["0002CCDD","nl"]})";

using ServiceProtocol = ServiceTest;

TEST_F(ServiceProtocol, EveryCommandAnswersWithItsResultText) {
  StartServing();
  struct Case {
    const char* request;
    std::string expected;  // the whole reply, or its start when `prefix`
    bool prefix;
    bool binary;
  };
  const std::string response = kSuccess + "\nResponse=";
  const Case cases[] = {
      {R"({"Name":1})",
       kSuccess + "\nDevice_Version=01.20\nDriver_Version=01.24\nBRIXON_Version=02.20", false,
       false},
      {R"({"Name":2,"Params":["nl"]})", kSuccess + "\nCardId_PAN=5412751234567890\nCardId_PSN=01",
       false, false},
      {R"({"Name":3,"Params":["0002CCDD0000","en"]})", response, true, false},
      {R"({"Name":4,"Params":[12345678,"",""]})", response, true, false},
      {R"({"Name":5,"Params":[]})", response, true, false},
      {R"({"Name":6,"Params":[3,"01 Jan 24, 09:30h",""]})", kSuccess, false, false},
      {R"({"Name":7,"Params":[]})", "", false, false},
      {R"({"Name":2,"Params":["nl"]})", kSuccess + "\nCardId_PAN=5412751234567890\nCardId_PSN=01",
       false, true},
      {R"({"Name":2,"Params":["n1"]})", "Status=12\nStatusDescription=Input error\n", true, false},
      {R"({"Name":3,"Params":["ZZ","en"]})", "Status=12\nStatusDescription=Input error\n", true,
       false},
  };
  const auto page = Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    if (c.binary) {
      page->SendBinary(c.request);
    } else {
      page->SendText(c.request);
    }
    const auto reply = page->Receive(30s);
    ASSERT_TRUE(reply) << "no reply; closed: " << page->Closed().has_value();
    if (c.prefix) {
      EXPECT_EQ(reply->rfind(c.expected, 0), 0u) << *reply;
      EXPECT_GT(reply->size(), c.expected.size()) << "the value is missing";
    } else {
      EXPECT_EQ(*reply, c.expected);
    }
  }
  EXPECT_NE(stack().Control("display").find("09:30"), std::string::npos);
}

TEST_F(ServiceProtocol, RequestsItCannotUnderstandCloseWith1007) {
  StartServing();
  const char* const requests[] = {
      "not json",
      R"({"Name":8,"Params":[]})",
      R"({"name":1})",
      R"({"Name":1,"Params":["extra"]})",
      R"({"Name":3,"Params":["0002CCDD"]})",
  };
  for (const char* request : requests) {
    SCOPED_TRACE(request);
    const auto page = Connect();
    page->SendText(request);
    EXPECT_EQ(CloseCode(*page, 10s), 1007);
    EXPECT_EQ(page->Receive(0s), std::nullopt);
    EXPECT_NE(ServiceLog().find(std::string("[WSS] Payload: ") + request), std::string::npos);
  }
  EXPECT_EQ(CountOf(ServiceLog(), "[WSS] Payload is not supported."), std::size(requests));
}

// The largest valid request is a GetResponse with 25,600 bytes of sign data
// in hex (about 51 KB); the limit sits well above it and far below what a
// page could otherwise make the service hold.
TEST_F(ServiceProtocol, MessagesOverTheLimitCloseWith1009AndTheServiceGoesOn) {
  StartServing();
  std::string signData;  // 100 blocks of tag, length 254 and 254 bytes: 25,600 bytes
  for (int block = 0; block < 100; ++block) {
    signData += "00FE";
    for (int i = 0; i < 254; ++i) signData += "AB";
  }
  const std::string largest = R"({"Name":3,"Params":[")" + signData + R"(","nl"]})";
  const auto page = Connect();
  page->SendText(largest);
  const auto reply = page->Receive(60s);
  ASSERT_TRUE(reply) << "the largest valid request got no reply";
  EXPECT_EQ(reply->rfind(kSuccess + "\nResponse=", 0), 0u) << *reply;

  // Under the limit but no request: it reaches the parser.
  const auto under = Connect();
  under->SendText(std::string(100 * 1024, ' ') + "not json");
  EXPECT_EQ(CloseCode(*under, 10s), 1007);

  for (const std::size_t size : {std::size_t{128 * 1024 + 1}, std::size_t{31} << 20}) {
    SCOPED_TRACE(size);
    const auto over = Connect();
    const auto start = std::chrono::steady_clock::now();
    over->SendText(std::string(size, ' '));
    const int code = CloseCode(*over, 30s);
    if (size > (std::size_t{1} << 20)) {
      // The service closes while most of it is still on its way; what it has
      // not read makes its close a reset, which may overtake the 1009 frame.
      EXPECT_TRUE(code == 1009 || code == 1006) << code;
    } else {
      EXPECT_EQ(code, 1009);
    }
    std::cout << "[ measured ] " << size << " bytes closed after "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count()
              << " ms" << std::endl;
  }
  EXPECT_EQ(Connect()->Request(kCheckConnection).rfind(kSuccess, 0), 0u);
}

TEST_F(ServiceProtocol, ForeignPagesAndPeersGetHttp400) {
  StartServing();
  struct Case {
    const char* origin;
    const char* source;
    int status;  // 101: admitted
    const char* logged;
  };
  const Case cases[] = {
      {"https://www.brixbank.example", "", 101, nullptr},
      {"https://online.brixonline.example:8443", "", 101, nullptr},
      {"https://www.example.org", "", 400,
       "[WSS] Connection from invalid origin: https://www.example.org"},
      {"http://www.brixbank.example", "", 400,
       "[WSS] Connection from invalid origin: http://www.brixbank.example"},
      {"https://www.brixbank.example", "127.0.0.2", 400,
       "[WSS] Connection from invalid IP: 127.0.0.2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.origin) + " from " + c.source);
    auto options = Options();
    options.origin = c.origin;
    options.sourceAddress = c.source;
    EXPECT_EQ(HandshakeStatus(options), c.status);
    if (c.logged != nullptr) {
      EXPECT_NE(ServiceLog().find(c.logged), std::string::npos);
    }
  }
}

TEST_F(ServiceProtocol, CancelFromAnotherPageEndsTheWaitingRequest) {
  StartServing();
  stack().Control("customer never");
  const auto waiting = Connect();
  waiting->SendText(kWaitingGetResponse);
  ASSERT_TRUE(DeviceWaits());

  const auto canceller = Connect();
  EXPECT_EQ(canceller->Request(R"({"Name":7,"Params":[]})"), "");
  EXPECT_EQ(waiting->Receive(30s), kCancelled);
}

// Pcscd frozen, every command hangs inside PC/SC; a request the service
// refuses needs no PC/SC, so its close shows whether a worker was free.
TEST_F(ServiceProtocol, TheEleventhRequestWaitsForOneOfTenWorkers) {
  StartServing();
  const auto busy = Connect();
  FreezePcscd();
  for (int i = 0; i < 9; ++i) busy->SendText(kCheckConnection);
  // The pong comes after the nine are queued: the probe below is behind them.
  ASSERT_TRUE(busy->Ping(10s));
  const auto probe = Connect();
  probe->SendText("not json");
  EXPECT_EQ(CloseCode(*probe, 10s), 1007) << "no tenth worker while nine hang";

  busy->SendText(kCheckConnection);
  ASSERT_TRUE(busy->Ping(10s));
  const auto eleventh = Connect();
  eleventh->SendText("not json");
  // Nothing can happen here with ten workers; an eleventh would close it.
  EXPECT_EQ(eleventh->Receive(1500ms), std::nullopt);
  EXPECT_FALSE(eleventh->Closed()) << "handled while ten requests were in progress";

  ResumePcscd();
  for (int i = 0; i < 10; ++i) {
    const auto reply = busy->Receive(60s);
    ASSERT_TRUE(reply) << "reply " << i + 1 << " of 10 missing";
    EXPECT_EQ(reply->rfind("Status=", 0), 0u) << *reply;
  }
  EXPECT_EQ(CloseCode(*eleventh, 30s), 1007);
  EXPECT_EQ(CountOf(ServiceLog(), "CQuorvex2::CheckConnection() <=="), 10u);
}

}  // namespace
}  // namespace qvx::testing
