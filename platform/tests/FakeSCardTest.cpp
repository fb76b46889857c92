#include "FakeSCard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qvxtest::FakeSCard;

constexpr DWORD kGetLastError = 0x312028;
constexpr DWORD kCheckDevice = 0x312004;

class FakeSCardTest : public ::testing::Test {
 protected:
  SCARDCONTEXT Establish() {
    SCARDCONTEXT context = 0;
    EXPECT_EQ(SCARD_S_SUCCESS,
              fake.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context));
    return context;
  }
  SCARDHANDLE Connect(SCARDCONTEXT context) {
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    EXPECT_EQ(SCARD_S_SUCCESS, fake.Connect(context, "R", SCARD_SHARE_DIRECT, 0,
                                            &card, &protocol));
    return card;
  }
  FakeSCard fake;
};

TEST_F(FakeSCardTest, AutoAllocatedListIsAMultiStringCountedUntilFreed) {
  fake.readers = {"A 0", "B 1"};
  const SCARDCONTEXT context = Establish();
  char* list = nullptr;
  DWORD length = SCARD_AUTOALLOCATE;
  ASSERT_EQ(SCARD_S_SUCCESS, fake.ListReaders(context, nullptr,
                                              reinterpret_cast<LPSTR>(&list),
                                              &length));
  ASSERT_EQ(9u, length);
  EXPECT_EQ(0, std::memcmp(list, "A 0\0B 1\0", 9));
  EXPECT_EQ(1, fake.OutstandingAllocations());
  EXPECT_EQ(SCARD_S_SUCCESS, fake.FreeMemory(context, list));
  EXPECT_EQ(0, fake.OutstandingAllocations());
  EXPECT_EQ(SCARD_E_INVALID_PARAMETER, fake.FreeMemory(context, list));
}

TEST_F(FakeSCardTest, CallerBufferListingQueriesSizeAndRejectsShortBuffers) {
  fake.readers = {"Reader"};
  const SCARDCONTEXT context = Establish();
  DWORD length = 0;
  ASSERT_EQ(SCARD_S_SUCCESS, fake.ListReaders(context, nullptr, nullptr, &length));
  EXPECT_EQ(8u, length);
  std::vector<char> buffer(7);
  length = 7;
  EXPECT_EQ(SCARD_E_INSUFFICIENT_BUFFER,
            fake.ListReaders(context, nullptr, buffer.data(), &length));
  buffer.resize(8);
  length = 8;
  EXPECT_EQ(SCARD_S_SUCCESS,
            fake.ListReaders(context, nullptr, buffer.data(), &length));
  EXPECT_EQ(std::string("Reader"), buffer.data());
}

TEST_F(FakeSCardTest, ListingFailures) {
  struct Case {
    const char* name;
    std::vector<std::string> readers;
    LONG listResult;
    LONG expected;
  } const cases[] = {
      {"no readers", {}, SCARD_S_SUCCESS, SCARD_E_NO_READERS_AVAILABLE},
      {"scripted failure wins", {"R"}, SCARD_E_NO_SERVICE, SCARD_E_NO_SERVICE},
  };
  const SCARDCONTEXT context = Establish();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake.readers = c.readers;
    fake.listResult = c.listResult;
    char* list = nullptr;
    DWORD length = SCARD_AUTOALLOCATE;
    EXPECT_EQ(c.expected, fake.ListReaders(context, nullptr,
                                           reinterpret_cast<LPSTR>(&list),
                                           &length));
    EXPECT_EQ(0, fake.OutstandingAllocations());
  }
}

TEST_F(FakeSCardTest, ConnectConsumesScriptedResultsThenSucceeds) {
  fake.connectResults = {SCARD_E_SHARING_VIOLATION};
  int seen = 0;
  fake.onCall = [&](const FakeSCard::Call& call) {
    if (call.function == "Connect") ++seen;
  };
  const SCARDCONTEXT context = Establish();
  SCARDHANDLE card = 0;
  DWORD protocol = 0;
  EXPECT_EQ(SCARD_E_SHARING_VIOLATION,
            fake.Connect(context, "R", SCARD_SHARE_DIRECT, 0, &card, &protocol));
  EXPECT_EQ(0, fake.OpenCards());
  EXPECT_EQ(SCARD_S_SUCCESS,
            fake.Connect(context, "R", SCARD_SHARE_DIRECT, 0, &card, &protocol));
  EXPECT_EQ(1, fake.OpenCards());
  EXPECT_EQ(2, seen);
  ASSERT_EQ(2u, fake.CallsTo("Connect").size());
  EXPECT_EQ("R", fake.CallsTo("Connect")[0].reader);
  EXPECT_EQ(static_cast<DWORD>(SCARD_SHARE_DIRECT),
            fake.CallsTo("Connect")[0].shareMode);
}

TEST_F(FakeSCardTest, ControlAnswers) {
  struct Case {
    const char* name;
    DWORD code;
    bool queue;
    FakeSCard::ControlAnswer answer;
    DWORD receiveLength;
    LONG expected;
    std::vector<BYTE> data;
  } const cases[] = {
      {"default: success, no data", kCheckDevice, false, {}, 255,
       SCARD_S_SUCCESS, {}},
      {"default last error: four zeros", kGetLastError, false, {}, 255,
       SCARD_S_SUCCESS, {0, 0, 0, 0}},
      {"default last error bounded by buffer", kGetLastError, false, {}, 2,
       SCARD_S_SUCCESS, {0, 0}},
      {"queued data", kCheckDevice, true, {SCARD_S_SUCCESS, {1, 2, 3}}, 3,
       SCARD_S_SUCCESS, {1, 2, 3}},
      {"queued data too long", kCheckDevice, true, {SCARD_S_SUCCESS, {1, 2, 3}},
       2, SCARD_E_INSUFFICIENT_BUFFER, {}},
      {"queued failure", kGetLastError, true, {SCARD_F_COMM_ERROR, {5}}, 4,
       SCARD_F_COMM_ERROR, {}},
  };
  const SCARDCONTEXT context = Establish();
  const SCARDHANDLE card = Connect(context);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.queue) fake.QueueControl(c.code, c.answer);
    std::vector<BYTE> buffer(c.receiveLength, 0xEE);
    DWORD returned = 99;
    const BYTE request[] = {0xA1, 0xB2};
    EXPECT_EQ(c.expected, fake.Control(card, c.code, request, sizeof request,
                                       buffer.data(), c.receiveLength,
                                       &returned));
    ASSERT_EQ(c.data.size(), returned);
    EXPECT_EQ(c.data, std::vector<BYTE>(buffer.begin(),
                                        buffer.begin() + returned));
    const FakeSCard::Call& call = fake.calls.back();
    EXPECT_EQ(c.code, call.controlCode);
    EXPECT_EQ((std::vector<BYTE>{0xA1, 0xB2}), call.request);
    EXPECT_EQ(c.receiveLength, call.receiveLength);
  }
  EXPECT_EQ(3u, fake.ControlCalls(kGetLastError).size());
}

TEST_F(FakeSCardTest, StaleHandlesAreRejected) {
  fake.disconnectResult = SCARD_E_NO_SERVICE;
  const SCARDCONTEXT context = Establish();
  const SCARDHANDLE card = Connect(context);
  EXPECT_EQ(SCARD_E_NO_SERVICE, fake.Disconnect(card, SCARD_LEAVE_CARD));
  EXPECT_EQ(0, fake.OpenCards());
  DWORD returned = 0;
  EXPECT_EQ(SCARD_E_INVALID_HANDLE,
            fake.Control(card, kCheckDevice, nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(SCARD_E_INVALID_HANDLE, fake.Disconnect(card, SCARD_LEAVE_CARD));
  EXPECT_EQ(SCARD_S_SUCCESS, fake.ReleaseContext(context));
  EXPECT_EQ(0, fake.OpenContexts());
  EXPECT_EQ(SCARD_E_INVALID_HANDLE, fake.ReleaseContext(context));
  SCARDHANDLE again = 0;
  DWORD protocol = 0;
  EXPECT_EQ(SCARD_E_INVALID_HANDLE,
            fake.Connect(context, "R", SCARD_SHARE_DIRECT, 0, &again, &protocol));
}

TEST_F(FakeSCardTest, FailedEstablishLeavesNoContext) {
  fake.establishResult = SCARD_E_NO_SERVICE;
  SCARDCONTEXT context = 7;
  EXPECT_EQ(SCARD_E_NO_SERVICE,
            fake.EstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context));
  EXPECT_EQ(0, context);
  EXPECT_EQ(0, fake.OpenContexts());
}

}  // namespace
