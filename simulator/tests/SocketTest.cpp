// The simulator on real sockets: the cable, the control socket, pacing, and
// the binary's client mode and signal handling.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "PrivateDir.h"
#include "link/Simulator.h"

extern char** environ;

namespace qvx::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using qvx::testing::PrivateDir;

class RunningSimulator {
 public:
  explicit RunningSimulator(bool paced, const std::function<void(SimulatorOptions&)>& adjust = {}) {
    SimulatorOptions options;
    options.socketPath = dir / "dev";
    options.controlPath = dir / "ctl";
    options.paced = paced;
    if (adjust) adjust(options);
    m_simulator = std::make_unique<Simulator>(options, nullptr);
    m_thread = std::thread([this] { m_simulator->Run(m_stop.Get()); });
  }
  ~RunningSimulator() {
    const std::uint64_t one = 1;
    if (::write(m_stop.Get(), &one, sizeof one) != static_cast<ssize_t>(sizeof one)) std::abort();
    m_thread.join();
  }

  PrivateDir dir;

 private:
  UniqueFd m_stop{::eventfd(0, EFD_CLOEXEC)};
  std::unique_ptr<Simulator> m_simulator;
  std::thread m_thread;
};

UniqueFd ConnectDriver(const std::string& path) { return ConnectUnix(path, SOCK_SEQPACKET); }

void SendPacket(int fd, const Packet& packet) {
  ASSERT_EQ(::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(packet.size()));
}

// The next message, or nothing when the peer closed or nothing came in time.
std::optional<Packet> ReceivePacket(int fd, int timeoutMs = 2000) {
  pollfd entry{fd, POLLIN, 0};
  if (::poll(&entry, 1, timeoutMs) != 1) return std::nullopt;
  Packet packet{};
  const ssize_t received = ::recv(fd, packet.data(), packet.size(), 0);
  if (received != static_cast<ssize_t>(packet.size())) return std::nullopt;
  return packet;
}

bool ClosedByPeer(int fd) {
  pollfd entry{fd, POLLIN, 0};
  if (::poll(&entry, 1, 2000) != 1) return false;
  std::uint8_t byte = 0;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

std::string Control(const std::string& path, const std::string& line) {
  const UniqueFd fd = ConnectUnix(path, SOCK_STREAM);
  const std::string request = line + "\n";
  if (::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size()))
    return "send failed";
  std::string reply;
  while (reply.find('\n') == std::string::npos) {
    pollfd entry{fd.Get(), POLLIN, 0};
    if (::poll(&entry, 1, 2000) != 1) return "no reply";
    char buffer[512];
    const ssize_t received = ::recv(fd.Get(), buffer, sizeof buffer, 0);
    if (received <= 0) return "closed";
    reply.append(buffer, static_cast<std::size_t>(received));
  }
  return reply.substr(0, reply.find('\n'));
}

const Packet kStatusQuery = ReaderControlPacket(0x09);

TEST(SocketTest, OneDriverAtATime) {
  RunningSimulator sim(false);
  UniqueFd first = ConnectDriver(sim.dir / "dev");
  SendPacket(first.Get(), CommandHeader(0x02, 0));
  EXPECT_EQ(ReceivePacket(first.Get()), (Packet{0x01, 0x03, 0x05, 0x06, 0, 0, 0, 0}));
  EXPECT_EQ(ReceivePacket(first.Get()), (Packet{0x00, 0x06, '0', '1', '.', '2', '0', 0}));

  const UniqueFd second = ConnectDriver(sim.dir / "dev");
  EXPECT_TRUE(ClosedByPeer(second.Get()));
  SendPacket(first.Get(), kStatusQuery);
  EXPECT_EQ(ReceivePacket(first.Get()), CardStatusPacket(true))
      << "the first driver keeps the device";

  // Half a command, then the cable goes: the next driver finds the device idle.
  SendPacket(first.Get(), CommandHeader(0x08, 3));
  first.Reset();
  const UniqueFd third = ConnectDriver(sim.dir / "dev");
  SendPacket(third.Get(), CommandHeader(0x02, 0));
  EXPECT_EQ(ReceivePacket(third.Get()), (Packet{0x01, 0x03, 0x05, 0x06, 0, 0, 0, 0}));
  EXPECT_NE(Control(sim.dir / "ctl", "state").find("busy=no"), std::string::npos);
}

TEST(SocketTest, ControlSocketDrivesTheDevice) {
  RunningSimulator sim(false);
  const std::string ctl = sim.dir / "ctl";
  EXPECT_NE(Control(ctl, "state").find("connected=no"), std::string::npos);
  UniqueFd driver = ConnectDriver(sim.dir / "dev");
  SendPacket(driver.Get(), kStatusQuery);
  ASSERT_EQ(ReceivePacket(driver.Get()), CardStatusPacket(true));

  EXPECT_EQ(Control(ctl, "remove"), "OK");
  EXPECT_EQ(ReceivePacket(driver.Get()), CardStatusPacket(false));
  EXPECT_EQ(Control(ctl, "insert"), "OK");
  EXPECT_EQ(ReceivePacket(driver.Get()), CardStatusPacket(true));
  EXPECT_EQ(Control(ctl, "display"), "OK Quorvex2 01.20|Card inserted");
  EXPECT_EQ(Control(ctl, "trace"),
            "OK >02 09 00 00 00 00 00 00 <02 81 01 00 00 00 00 00 <02 81 00 00 00 00 00 00 "
            "<02 81 01 00 00 00 00 00");
  EXPECT_EQ(Control(ctl, "trace clear"), "OK");
  EXPECT_EQ(Control(ctl, "trace"), "OK");
  EXPECT_EQ(Control(ctl, "warp 9").rfind("ERR ", 0), 0u);
  EXPECT_NE(Control(ctl, "state").find("connected=yes"), std::string::npos);

  EXPECT_EQ(Control(ctl, "unplug"), "OK");
  EXPECT_TRUE(ClosedByPeer(driver.Get()));
  driver = ConnectDriver(sim.dir / "dev");
  EXPECT_TRUE(ClosedByPeer(driver.Get())) << "refused while unplugged";
  EXPECT_EQ(Control(ctl, "plug"), "OK");
  driver = ConnectDriver(sim.dir / "dev");
  SendPacket(driver.Get(), kStatusQuery);
  EXPECT_EQ(ReceivePacket(driver.Get()), CardStatusPacket(true));
}

TEST(SocketTest, SeveralLinesOnOneControlConnection) {
  RunningSimulator sim(false);
  const UniqueFd fd = ConnectUnix(sim.dir / "ctl", SOCK_STREAM);
  const std::string lines = "firmware 02.00\r\nbogus\ndisplay\n";
  ASSERT_EQ(::send(fd.Get(), lines.data(), lines.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(lines.size()));
  std::string replies;
  while (std::count(replies.begin(), replies.end(), '\n') < 3) {
    pollfd entry{fd.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&entry, 1, 2000), 1);
    char buffer[256];
    const ssize_t received = ::recv(fd.Get(), buffer, sizeof buffer, 0);
    ASSERT_GT(received, 0);
    replies.append(buffer, static_cast<std::size_t>(received));
  }
  EXPECT_EQ(replies,
            "OK\nERR unknown command 'bogus' (try help)\nOK Quorvex2 02.00|Card inserted\n");
}

TEST(SocketTest, CustomerTimeLimitFiresOnTheRealClock) {
  RunningSimulator sim(false, [](SimulatorOptions& o) {
    o.firmware.customer.kind = CustomerScript::Kind::Never;
    o.firmware.customerTimeout = Millis{80};
  });
  const UniqueFd driver = ConnectDriver(sim.dir / "dev");
  for (const Packet& p : CommandPackets(0x01, {0, 0})) SendPacket(driver.Get(), p);
  ASSERT_TRUE(ReceivePacket(driver.Get()));
  ASSERT_TRUE(ReceivePacket(driver.Get()));
  const auto start = Clock::now();
  for (const Packet& p : CommandPackets(0x07, {0x02})) SendPacket(driver.Get(), p);
  EXPECT_EQ(ReceivePacket(driver.Get()), (Packet{0x01, 0x03, 0x06, 0, 0, 0, 0, 0}));
  EXPECT_GE(Clock::now() - start, 80ms);
}

// Status queries sent back to back, answers counted.
Clock::duration RoundTrips(const std::string& path, int count) {
  const UniqueFd driver = ConnectDriver(path);
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) SendPacket(driver.Get(), kStatusQuery);
  for (int i = 0; i < count; ++i) {
    const auto packet = ReceivePacket(driver.Get());
    if (packet != CardStatusPacket(true)) {
      ADD_FAILURE() << "answer " << i << " missing";
      break;
    }
  }
  return Clock::now() - start;
}

TEST(SocketTest, PacedAtOnePacketPerMillisecond) {
  RunningSimulator sim(true);
  EXPECT_GE(RoundTrips(sim.dir / "dev", 50), 49ms);
}

TEST(SocketTest, UnpacedDoesNotSleep) {
  RunningSimulator sim(false);
  // Paced, 100 answers could not come in less than 99 ms.
  EXPECT_LT(RoundTrips(sim.dir / "dev", 100), 99ms);
}

TEST(SocketTest, ReplacesAStaleSocketButNotALiveOne) {
  PrivateDir dir;
  {
    // A socket file with no listener behind it, as a killed process leaves.
    UniqueFd fd(::socket(AF_UNIX, SOCK_SEQPACKET, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir / "dev";
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  }
  ASSERT_TRUE(std::filesystem::is_socket(dir / "dev"));
  SimulatorOptions options;
  options.socketPath = dir / "dev";
  EXPECT_NO_THROW(Simulator(options, nullptr));
  {
    const ListeningSocket live(dir / "live", SOCK_SEQPACKET);
    options.socketPath = dir / "live";
    EXPECT_THROW(Simulator(options, nullptr), std::system_error);
  }
  std::ofstream(dir / "plain") << "x";
  options.socketPath = dir / "plain";
  EXPECT_THROW(Simulator(options, nullptr), std::system_error);
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BinaryTest, ClientModeAndCleanStop) {
  PrivateDir dir;
  const std::string dev = dir / "dev";
  const std::string ctl = dir / "ctl";
  const std::string log = dir / "log";
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<std::string> args{QVXSIM_BINARY, "--socket", dev, "--control", ctl};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  ASSERT_EQ(posix_spawn(&pid, QVXSIM_BINARY, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  const auto deadline = Clock::now() + 5s;
  while (!std::filesystem::exists(ctl) && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
  const std::string client = std::string(QVXSIM_BINARY) + " ctl " + ctl + " ";
  EXPECT_EQ(Shell(client + "state > " + (dir / "out")), 0);
  std::string reply;
  std::getline(std::ifstream(dir / "out"), reply);
  EXPECT_EQ(reply.rfind("OK card=inserted", 0), 0u) << reply;
  EXPECT_EQ(Shell(client + "inject rc8 999 > /dev/null"), 1);
  EXPECT_EQ(Shell(std::string(QVXSIM_BINARY) + " ctl " + (dir / "nobody") + " state 2> /dev/null"),
            2);

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(std::filesystem::exists(dev));
  EXPECT_FALSE(std::filesystem::exists(ctl));
  std::ifstream logFile(log);
  const std::string logText((std::istreambuf_iterator<char>(logFile)),
                            std::istreambuf_iterator<char>());
  EXPECT_NE(logText.find("control: state -> OK"), std::string::npos) << logText;
}

}  // namespace
}  // namespace qvx::sim
