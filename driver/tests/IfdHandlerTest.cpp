// The module as pcscd sees it: libqvxrdr.so loaded with dlopen, its IFDH
// entry points called the way pcscd calls them, a scripted device behind
// the "sim:" socket.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <PCSC/reader.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "ReaderFixture.h"
#include "ifd/PcscIfd.h"
#include "platform/Sync.h"

namespace qvx::testing {
namespace {

using namespace std::chrono_literals;

std::string ModulePath() {
#ifdef QVXRDR_MODULE
  return QVXRDR_MODULE;
#else
  // The test program is built in <build>/driver/tests, the module in <build>/driver.
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "libqvxrdr.so").string();
#endif
}

// The simulator's side of "sim:PATH": one 8-byte message per packet.
// Unplugged, it closes its connection and refuses new ones (accepts and
// closes them at once), as qvxsim does.
class SocketDevice {
 public:
  SocketDevice(const std::string& path, ScriptedFirmware& firmware)
      : m_path(path), m_firmware(firmware) {
    m_listen = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (m_listen < 0 ||
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 4) != 0) {
      throw std::runtime_error("cannot listen on " + path);
    }
    m_firmware.SetSink([this](const Packets& packets) {
      std::lock_guard<std::mutex> guard(m_sendLock);
      for (const Packet& p : packets) {
        if (m_connection >= 0) (void)::send(m_connection, p.data(), p.size(), MSG_NOSIGNAL);
      }
    });
    m_thread = std::thread([this] { Serve(); });
  }
  ~SocketDevice() {
    m_stopping = true;
    ::shutdown(m_listen, SHUT_RDWR);
    {
      std::lock_guard<std::mutex> guard(m_sendLock);
      if (m_connection >= 0) ::shutdown(m_connection, SHUT_RDWR);
    }
    m_thread.join();
    m_firmware.SetSink(nullptr);
    if (m_connection >= 0) ::close(m_connection);
    ::close(m_listen);
  }
  SocketDevice(const SocketDevice&) = delete;
  SocketDevice& operator=(const SocketDevice&) = delete;

  void Unplug() {
    std::lock_guard<std::mutex> guard(m_sendLock);
    m_unplugged = true;
    if (m_connection >= 0) ::shutdown(m_connection, SHUT_RDWR);
  }
  void Plug() {
    std::lock_guard<std::mutex> guard(m_sendLock);
    m_unplugged = false;
  }
  // Connections the driver has made so far, refused ones included.
  int Connections() const { return m_connections.load(); }

 private:
  void Serve() {
    for (;;) {
      const int connection = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) return;
      ++m_connections;
      {
        std::lock_guard<std::mutex> guard(m_sendLock);
        if (m_unplugged || m_stopping) {
          ::close(connection);
          if (m_stopping) return;
          continue;
        }
        m_connection = connection;
      }
      for (;;) {
        Packet packet{};
        const ssize_t n = ::recv(connection, packet.data(), packet.size(), 0);
        if (n != static_cast<ssize_t>(packet.size())) break;
        m_firmware.OnPacket(packet);
      }
      std::lock_guard<std::mutex> guard(m_sendLock);
      ::close(m_connection);
      m_connection = -1;
      if (m_stopping) return;
    }
  }

  std::string m_path;
  ScriptedFirmware& m_firmware;
  int m_listen = -1;
  std::mutex m_sendLock;
  int m_connection = -1;
  bool m_unplugged = false;  // guarded by m_sendLock
  std::atomic<int> m_connections{0};
  std::atomic<bool> m_stopping{false};
  std::thread m_thread;
};

struct Module {
  void* handle = nullptr;
  decltype(&IFDHCreateChannelByName) createByName = nullptr;
  decltype(&IFDHCreateChannel) create = nullptr;
  decltype(&IFDHCloseChannel) close = nullptr;
  decltype(&IFDHGetCapabilities) getCapabilities = nullptr;
  decltype(&IFDHSetCapabilities) setCapabilities = nullptr;
  decltype(&IFDHSetProtocolParameters) setProtocol = nullptr;
  decltype(&IFDHPowerICC) power = nullptr;
  decltype(&IFDHTransmitToICC) transmit = nullptr;
  decltype(&IFDHControl) control = nullptr;
  decltype(&IFDHICCPresence) presence = nullptr;
};

template <class F>
void Bind(void* handle, const char* name, F* function) {
  *function = reinterpret_cast<F>(::dlsym(handle, name));
  if (*function == nullptr) ADD_FAILURE() << name << " is not exported";
}

class IfdHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = ModulePath();
    m_module.handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_module.handle, nullptr) << "build the qvxrdr target first: " << ::dlerror();
    Bind(m_module.handle, "IFDHCreateChannelByName", &m_module.createByName);
    Bind(m_module.handle, "IFDHCreateChannel", &m_module.create);
    Bind(m_module.handle, "IFDHCloseChannel", &m_module.close);
    Bind(m_module.handle, "IFDHGetCapabilities", &m_module.getCapabilities);
    Bind(m_module.handle, "IFDHSetCapabilities", &m_module.setCapabilities);
    Bind(m_module.handle, "IFDHSetProtocolParameters", &m_module.setProtocol);
    Bind(m_module.handle, "IFDHPowerICC", &m_module.power);
    Bind(m_module.handle, "IFDHTransmitToICC", &m_module.transmit);
    Bind(m_module.handle, "IFDHControl", &m_module.control);
    Bind(m_module.handle, "IFDHICCPresence", &m_module.presence);
  }
  void TearDown() override {
    for (DWORD lun : m_opened) m_module.close(lun);
    m_devices.clear();
    if (m_module.handle != nullptr) ::dlclose(m_module.handle);
  }

  // A scripted device on a socket, opened as reader `lun`.
  ScriptedFirmware& Open(DWORD lun) {
    OpenDevice opened;
    opened.firmware = std::make_unique<ScriptedFirmware>();
    const std::string socket = m_temp.Path() + "/dev" + std::to_string(++m_sockets) + ".sock";
    opened.device = std::make_unique<SocketDevice>(socket, *opened.firmware);
    OpenDevice& slot = m_devices[lun];
    slot.device.reset();  // before the firmware it talks to
    slot = std::move(opened);
    std::string name = "sim:" + socket;
    EXPECT_EQ(m_module.createByName(lun, name.data()), IFD_SUCCESS);
    m_opened.push_back(lun);
    return *slot.firmware;
  }

  struct Reply {
    RESPONSECODE rc;
    Bytes bytes;
  };
  Reply Control(DWORD lun, DWORD code, Bytes input, DWORD capacity = 262) {
    std::vector<UCHAR> out(capacity + 1, 0xEE);
    DWORD returned = 12345;
    Reply r;
    r.rc = m_module.control(lun, code, input.empty() ? nullptr : input.data(),
                            static_cast<DWORD>(input.size()), out.data(), capacity, &returned);
    EXPECT_LE(returned, capacity);
    r.bytes.assign(out.begin(), out.begin() + std::min<DWORD>(returned, capacity));
    return r;
  }
  Reply Capability(DWORD lun, DWORD tag, DWORD capacity = 64) {
    std::vector<UCHAR> out(capacity + 1);
    DWORD length = capacity;
    Reply r;
    r.rc = m_module.getCapabilities(lun, tag, &length, out.data());
    EXPECT_LE(length, capacity);
    r.bytes.assign(out.begin(), out.begin() + std::min(length, capacity));
    return r;
  }

  struct OpenDevice {
    std::unique_ptr<ScriptedFirmware> firmware;
    std::unique_ptr<SocketDevice> device;
  };

  qvx::testing::PrivateDir m_temp{"qvxrdr"};
  qvx::testing::ScopedEnv m_objects{"QVX_OBJECT_DIR", m_temp / "objects"};
  Module m_module;
  std::map<DWORD, OpenDevice> m_devices;
  std::vector<DWORD> m_opened;
  int m_sockets = 0;
};

Bytes Dword(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

TEST_F(IfdHandlerTest, Capabilities) {
  Open(0);
  struct Row {
    DWORD tag;
    Bytes value;
  };
  const Row rows[] = {
      {TAG_IFD_SLOTS_NUMBER, {1}},
      {TAG_IFD_SIMULTANEOUS_ACCESS, {8}},
      {TAG_IFD_THREAD_SAFE, {1}},
      {TAG_IFD_POLLING_THREAD_KILLABLE, {0}},
      {SCARD_ATTR_VENDOR_NAME, {'M', 'e', 'r', 'i', 'd', 'e', 'l', 0}},
      {SCARD_ATTR_VENDOR_IFD_TYPE,
       {'Q', 'u', 'o', 'r', 'v', 'e', 'x', '2', '_', 'R', 'e', 'a', 'd', 'e', 'r', 0}},
      {SCARD_ATTR_DEVICE_UNIT, Dword(0)},
      {SCARD_ATTR_CHANNEL_ID, Dword(0x00200000)},
      {SCARD_ATTR_ASYNC_PROTOCOL_TYPES, Dword(3)},
      {SCARD_ATTR_DEFAULT_CLK, Dword(2000)},
      {SCARD_ATTR_MAX_CLK, Dword(2000)},
      {SCARD_ATTR_DEFAULT_DATA_RATE, Dword(5376)},
      {SCARD_ATTR_MAX_DATA_RATE, Dword(21505)},
      {SCARD_ATTR_MAX_IFSD, Dword(254)},
      {SCARD_ATTR_ICC_PRESENCE, {1}},
  };
  for (const Row& row : rows) {
    const Reply r = Capability(0, row.tag);
    EXPECT_EQ(r.rc, IFD_SUCCESS) << std::hex << row.tag;
    EXPECT_EQ(r.bytes, row.value) << std::hex << row.tag;
  }
  const Reply poll = Capability(0, TAG_IFD_POLLING_THREAD_WITH_TIMEOUT);
  EXPECT_EQ(poll.rc, IFD_SUCCESS);
  EXPECT_EQ(poll.bytes.size(), sizeof(void*));
  EXPECT_EQ(Capability(0, TAG_IFD_STOP_POLLING_THREAD).bytes.size(), sizeof(void*));

  const Reply small = Capability(0, SCARD_ATTR_VENDOR_NAME, 7);
  EXPECT_EQ(small.rc, IFD_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(small.bytes.empty());
  const Reply unknown = Capability(0, SCARD_ATTR_VENDOR_IFD_SERIAL_NO);
  EXPECT_EQ(unknown.rc, IFD_ERROR_TAG);
  EXPECT_TRUE(unknown.bytes.empty());
}

TEST_F(IfdHandlerTest, VendorCodes) {
  ScriptedFirmware& firmware = Open(0);
  firmware.Script(0x02, 5, {'0', '1', '.', '2', '0', 0});

  const Reply refused = Control(0, 0x312024, {0x00});
  EXPECT_EQ(refused.rc, IFD_ERROR_NOT_SUPPORTED);
  EXPECT_TRUE(refused.bytes.empty());
  EXPECT_EQ(Control(0, 0x222004, {}).rc, IFD_ERROR_NOT_SUPPORTED);

  const Reply check = Control(0, 0x312004, {});
  EXPECT_EQ(check.rc, IFD_SUCCESS);
  EXPECT_EQ(check.bytes, (Bytes{'0', '1', '.', '2', '0', 0, '0', '1', '.', '2', '4', 0}));
  const Reply small = Control(0, 0x312004, {}, 255 - 250);
  EXPECT_EQ(small.rc, IFD_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(small.bytes.empty());

  firmware.Script(0x01, 1, {0x01});
  firmware.Script(0x03, 8, {36});
  EXPECT_EQ(Control(0, 0x312008, {'n', 'l'}).rc, IFD_SUCCESS);
  EXPECT_EQ(Control(0, 0x312028, {}, 4).bytes, (Bytes{13, 36, 0, 0}));
}

TEST_F(IfdHandlerTest, CardFunctions) {
  ScriptedFirmware& firmware = Open(0);
  EXPECT_EQ(m_module.presence(0), IFD_ICC_PRESENT);
  const Bytes atr{0x3B, 0x02, 0x14, 0x50};
  firmware.SetAtr(AtrPackets(atr));
  std::array<UCHAR, MAX_ATR_SIZE> buffer{};
  DWORD length = buffer.size();
  ASSERT_EQ(m_module.power(0, IFD_POWER_UP, buffer.data(), &length), IFD_SUCCESS);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + length), atr);
  EXPECT_EQ(Capability(0, TAG_IFD_ATR).bytes, atr);
  EXPECT_EQ(m_module.setProtocol(0, SCARD_PROTOCOL_T1, 0, 0, 0, 0), IFD_PROTOCOL_NOT_SUPPORTED);
  ASSERT_EQ(m_module.setProtocol(0, SCARD_PROTOCOL_T0, 0, 0, 0, 0), IFD_SUCCESS);

  SCARD_IO_HEADER pci{};
  UCHAR apdu[] = {0x80, 0x12, 0x00, 0x01, 0x00};
  std::array<UCHAR, 64> rx{};
  DWORD rxLength = rx.size();
  ASSERT_EQ(m_module.transmit(0, pci, apdu, sizeof apdu, rx.data(), &rxLength, nullptr),
            IFD_SUCCESS);
  EXPECT_EQ(Bytes(rx.begin(), rx.begin() + rxLength),
            (Bytes{0xD0, 0x07, 'Q', 'V', 'X', '2', 'R', 'D', 'R', 0x90, 0x00}));
  rxLength = 4;
  EXPECT_EQ(m_module.transmit(0, pci, apdu, sizeof apdu, rx.data(), &rxLength, nullptr),
            IFD_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(rxLength, 0u);

  // pcscd powers down without buffers.
  EXPECT_EQ(m_module.power(0, IFD_POWER_DOWN, nullptr, nullptr), IFD_SUCCESS);
  firmware.Send({sim::CardStatusPacket(false)});
  for (int i = 0; i < 200 && m_module.presence(0) != IFD_ICC_NOT_PRESENT; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(m_module.presence(0), IFD_ICC_NOT_PRESENT);
  length = buffer.size();
  EXPECT_EQ(m_module.power(0, IFD_POWER_UP, buffer.data(), &length), IFD_ERROR_POWER_ACTION);
  EXPECT_EQ(length, 0u);
}

TEST_F(IfdHandlerTest, PollingWaitsForCardEventsAndStops) {
  ScriptedFirmware& firmware = Open(0);
  RESPONSECODE (*poll)(DWORD, int) = nullptr;
  RESPONSECODE (*stop)(DWORD) = nullptr;
  DWORD length = sizeof poll;
  ASSERT_EQ(m_module.getCapabilities(0, TAG_IFD_POLLING_THREAD_WITH_TIMEOUT, &length,
                                     reinterpret_cast<PUCHAR>(&poll)),
            IFD_SUCCESS);
  length = sizeof stop;
  ASSERT_EQ(m_module.getCapabilities(0, TAG_IFD_STOP_POLLING_THREAD, &length,
                                     reinterpret_cast<PUCHAR>(&stop)),
            IFD_SUCCESS);
  EXPECT_EQ(poll(0, 0), IFD_SUCCESS);  // the card found when the channel opened

  auto removal = std::async(std::launch::async, [poll] { return poll(0, 60000); });
  EXPECT_EQ(removal.wait_for(100ms), std::future_status::timeout);
  firmware.Send({sim::CardStatusPacket(false)});
  ASSERT_EQ(removal.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(removal.get(), IFD_SUCCESS);

  auto stopped = std::async(std::launch::async, [poll] { return poll(0, 60000); });
  EXPECT_EQ(stopped.wait_for(100ms), std::future_status::timeout);
  EXPECT_EQ(stop(0), IFD_SUCCESS);
  ASSERT_EQ(stopped.wait_for(5s), std::future_status::ready);

  // The resource manager stops the poll after every disconnect and then polls
  // again: that poll waits once more instead of returning at once for ever.
  EXPECT_EQ(poll(0, 200), IFD_SUCCESS) << "timed out polls answer success too";
  auto again = std::async(std::launch::async, [poll] { return poll(0, 60000); });
  EXPECT_EQ(again.wait_for(100ms), std::future_status::timeout) << "the stop outlived its poll";
  firmware.Send({sim::CardStatusPacket(true)});
  ASSERT_EQ(again.wait_for(5s), std::future_status::ready);
}

TEST_F(IfdHandlerTest, SecondReaderAndItsCancelEvent) {
  Open(0);
  ScriptedFirmware& second = Open(0x10000);
  EXPECT_EQ(Capability(0x10000, SCARD_ATTR_DEVICE_UNIT).bytes, Dword(1));
  second.Script(0x01, 1, {0x01});
  second.Hold(0x07);
  auto request = std::async(std::launch::async, [this] { return Control(0x10000, 0x312014, {}); });
  ASSERT_TRUE(second.WaitForCommand(0x07));
  platform::HANDLE event = OpenEvent(SYNCHRONIZE | EVENT_MODIFY_STATE, false,
                                     "Global\\Meridel Quorvex2_Reader 01 00_cancel_event");
  ASSERT_NE(event, nullptr);
  SetEvent(event);
  CloseHandle(event);
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(request.get().rc, IFD_SUCCESS);
  EXPECT_EQ(Control(0x10000, 0x312028, {}, 4).bytes, (Bytes{5, 0, 0, 0}));
  EXPECT_EQ(second.Aborts().size(), 1u);
  EXPECT_EQ(m_devices[0].firmware->Aborts().size(), 0u);
}

TEST_F(IfdHandlerTest, UnknownReadersAndDevices) {
  char missing[] = "sim:/nonexistent/qvx.sock";
  EXPECT_EQ(m_module.createByName(0x20000, missing), IFD_NO_SUCH_DEVICE);
  char other[] = "tty:/dev/null";
  EXPECT_EQ(m_module.createByName(0x20000, other), IFD_NO_SUCH_DEVICE);
  EXPECT_EQ(m_module.create(0x20000, 0x3F8), IFD_COMMUNICATION_ERROR);

  EXPECT_EQ(m_module.presence(0x20000), IFD_COMMUNICATION_ERROR);
  const Reply control = Control(0x20000, 0x312028, {}, 4);
  EXPECT_NE(control.rc, IFD_SUCCESS);
  EXPECT_TRUE(control.bytes.empty());
  EXPECT_EQ(m_module.close(0x20000), IFD_COMMUNICATION_ERROR);
}

TEST_F(IfdHandlerTest, ClosedChannelIsGone) {
  Open(0);
  ASSERT_EQ(m_module.close(0), IFD_SUCCESS);
  m_opened.clear();
  EXPECT_EQ(m_module.presence(0), IFD_COMMUNICATION_ERROR);
  // The unit is free again for the next device.
  Open(0);
  EXPECT_EQ(Capability(0, SCARD_ATTR_DEVICE_UNIT).bytes, Dword(0));
}

TEST_F(IfdHandlerTest, UnpluggedDeviceIsToldBeforeItsChannelCloses) {
  Open(0);
  const Reply removed = Capability(0, TAG_IFD_DEVICE_REMOVED);
  ASSERT_EQ(removed.bytes, Bytes{1});
  UCHAR value = 1;
  EXPECT_EQ(m_module.setCapabilities(0, TAG_IFD_DEVICE_REMOVED, 1, &value), IFD_SUCCESS);
  EXPECT_EQ(Control(0, 0x312028, {}, 4).rc, IFD_NO_SUCH_DEVICE);
}

// --- a device that goes away and comes back ---------------------------

using PollFunction = RESPONSECODE (*)(DWORD, int);

class IfdGoneDeviceTest : public IfdHandlerTest {
 protected:
  PollFunction Poll() {
    PollFunction poll = nullptr;
    DWORD length = sizeof poll;
    EXPECT_EQ(m_module.getCapabilities(0, TAG_IFD_POLLING_THREAD_WITH_TIMEOUT, &length,
                                       reinterpret_cast<PUCHAR>(&poll)),
              IFD_SUCCESS);
    return poll;
  }
  SocketDevice& Device(DWORD lun = 0) { return *m_devices[lun].device; }
  // Until pcscd's presence call learns that the device is gone (the link
  // notices the closed socket on its own thread).
  bool PresenceSaysGone() {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (m_module.presence(0) != IFD_NO_SUCH_DEVICE) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
};

TEST_F(IfdGoneDeviceTest, AGoneDeviceIsNoSuchDeviceUntilItIsOpenedAgain) {
  ScriptedFirmware& firmware = Open(0);
  firmware.Script(0x02, 5, {'0', '1', '.', '2', '0', 0});
  ASSERT_EQ(Control(0, 0x312004, {}).rc, IFD_SUCCESS);
  const PollFunction poll = Poll();

  Device().Unplug();
  ASSERT_TRUE(PresenceSaysGone());
  struct Entry {
    const char* name;
    std::function<RESPONSECODE()> call;
  };
  const Entry entries[] = {
      {"control", [&] { return Control(0, 0x312004, {}).rc; }},
      {"presence", [&] { return m_module.presence(0); }},
      {"power",
       [&] {
         std::array<UCHAR, MAX_ATR_SIZE> atr{};
         DWORD length = atr.size();
         return m_module.power(0, IFD_POWER_UP, atr.data(), &length);
       }},
      {"transmit",
       [&] {
         UCHAR apdu[] = {0x00, 0xA4, 0x04, 0x00};
         std::array<UCHAR, 64> out{};
         DWORD length = out.size();
         return m_module.transmit(0, SCARD_IO_HEADER{}, apdu, sizeof apdu, out.data(), &length,
                                  nullptr);
       }},
      {"protocol", [&] { return m_module.setProtocol(0, SCARD_PROTOCOL_T0, 0, 0, 0, 0); }},
  };
  for (const Entry& entry : entries) {
    EXPECT_EQ(entry.call(), IFD_NO_SUCH_DEVICE) << entry.name;
  }
  // While it stays away, polling neither fails nor gives up the channel.
  EXPECT_EQ(poll(0, 60000), IFD_SUCCESS);
  EXPECT_EQ(m_module.presence(0), IFD_NO_SUCH_DEVICE);

  const int refused = Device().Connections();
  Device().Plug();
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (m_module.presence(0) == IFD_NO_SUCH_DEVICE &&
         std::chrono::steady_clock::now() < deadline) {
    EXPECT_EQ(poll(0, 60000), IFD_SUCCESS);
  }
  EXPECT_EQ(m_module.presence(0), IFD_ICC_PRESENT);
  const Reply check = Control(0, 0x312004, {});
  EXPECT_EQ(check.rc, IFD_SUCCESS);
  EXPECT_EQ(check.bytes, (Bytes{'0', '1', '.', '2', '0', 0, '0', '1', '.', '2', '4', 0}));
  EXPECT_EQ(Capability(0, SCARD_ATTR_DEVICE_UNIT).bytes, Dword(0))
      << "the old device gave its unit back before the new one was added";
  EXPECT_EQ(Device().Connections(), refused + 1) << "one reopen once it was back";
}

TEST_F(IfdGoneDeviceTest, AGoneDeviceIsTriedAtMostOncePerSecond) {
  Open(0);
  const PollFunction poll = Poll();
  Device().Unplug();
  ASSERT_TRUE(PresenceSaysGone());

  // pcscd's card-tracking loop: presence, then the poll. A poll that came
  // back at once would make this loop spin.
  const auto start = std::chrono::steady_clock::now();
  int rounds = 0;
  while (std::chrono::steady_clock::now() - start < 2500ms) {
    EXPECT_EQ(m_module.presence(0), IFD_NO_SUCH_DEVICE);
    EXPECT_EQ(poll(0, 60000), IFD_SUCCESS);
    ++rounds;
  }
  // The first attempt comes when the loss is found; then one per second.
  EXPECT_LE(rounds, 4);
  EXPECT_GE(rounds, 2) << "no poll may wait longer than the reopen interval";
  EXPECT_LE(Device().Connections(), 1 + 4) << "reopen attempts beyond one per second";
}

TEST_F(IfdGoneDeviceTest, UnplugEndsAPendingRequestAndTheStopEndsAGonePoll) {
  ScriptedFirmware& firmware = Open(0);
  firmware.Script(0x01, 1, {0x01});
  firmware.Hold(0x07);
  auto request = std::async(std::launch::async, [this] { return Control(0, 0x312014, {}); });
  ASSERT_TRUE(firmware.WaitForCommand(0x07));
  Device().Unplug();
  ASSERT_EQ(request.wait_for(5s), std::future_status::ready) << "the request hangs";
  // The request failed: said by the control call itself or by the
  // last-error record read right after it.
  const RESPONSECODE ended = request.get().rc;
  const Reply record = Control(0, 0x312028, {}, 4);
  EXPECT_TRUE(ended != IFD_SUCCESS || record.rc == IFD_NO_SUCH_DEVICE ||
              (record.rc == IFD_SUCCESS && !record.bytes.empty() && record.bytes[0] != 0))
      << ended << " " << record.rc;
  ASSERT_TRUE(PresenceSaysGone());

  RESPONSECODE (*stop)(DWORD) = nullptr;
  DWORD length = sizeof stop;
  ASSERT_EQ(m_module.getCapabilities(0, TAG_IFD_STOP_POLLING_THREAD, &length,
                                     reinterpret_cast<PUCHAR>(&stop)),
            IFD_SUCCESS);
  const PollFunction poll = Poll();
  EXPECT_EQ(poll(0, 0), IFD_SUCCESS);  // the attempt due now
  auto waiting = std::async(std::launch::async, [poll] { return poll(0, 60000); });
  EXPECT_EQ(stop(0), IFD_SUCCESS);
  ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(waiting.get(), IFD_SUCCESS);
  EXPECT_EQ(m_module.close(0), IFD_SUCCESS) << "a channel whose device is gone still closes";
  m_opened.clear();
}

}  // namespace
}  // namespace qvx::testing
