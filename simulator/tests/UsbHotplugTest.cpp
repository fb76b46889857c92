// What the emulated USB device shows the host beyond its URBs: hotplug
// events in udev's monitor format, and a device node whose poll readiness
// tells whether finished URBs wait.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "PrivateDir.h"
#include "platform/posix/UniqueFd.h"
#include "usb/PollableNode.h"
#include "usb/UeventSender.h"
#include "usb/Descriptors.h"
#include "usb/UrbPipes.h"

namespace qvx::sim::usb {
namespace {

namespace fs = std::filesystem;

using platform::UniqueFd;

using qvx::testing::PrivateDir;

// A udev monitor as umockdev's preload sets it up: a datagram socket bound to ROOT/eventN.
UniqueFd Listen(const std::string& path) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (!fd || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("bind " + path);
  return fd;
}

std::vector<std::uint8_t> Receive(int fd) {
  std::vector<std::uint8_t> buffer(2048);
  const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
  buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return buffer;
}

std::uint32_t Field(const std::vector<std::uint8_t>& message, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, message.data() + at, sizeof value);
  return value;
}

std::vector<std::string> Properties(const std::vector<std::uint8_t>& message) {
  const std::size_t offset = Field(message, 16);
  const std::size_t length = Field(message, 20);
  EXPECT_EQ(offset + length, message.size());
  std::vector<std::string> out;
  std::string current;
  for (std::size_t i = offset; i < offset + length; ++i) {
    if (message[i] == 0) {
      out.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(message[i]);
    }
  }
  EXPECT_TRUE(current.empty()) << "properties end in a NUL";
  return out;
}

TEST(UeventTest, MessageCarriesUdevHeaderAndProperties) {
  const Uevent event{"remove", "/devices/usb1/1-1/1-1:1.0", "usb", "usb_interface", ""};
  const std::vector<std::uint8_t> message = UeventMessage(event, 7);
  ASSERT_GE(message.size(), 40u);
  EXPECT_EQ(std::memcmp(message.data(), "libudev\0", 8), 0);
  EXPECT_EQ(ntohl(Field(message, 8)), 0xfeedcafeu);
  EXPECT_EQ(Field(message, 12), 40u);  // the header's size
  EXPECT_EQ(Field(message, 16), 40u);  // properties right after it
  EXPECT_EQ(ntohl(Field(message, 24)), UdevStringHash("usb"));
  EXPECT_EQ(ntohl(Field(message, 28)), UdevStringHash("usb_interface"));
  EXPECT_NE(UdevStringHash("usb_interface"), UdevStringHash("usb_device"));
  EXPECT_EQ(Properties(message),
            (std::vector<std::string>{"ACTION=remove", "DEVPATH=/devices/usb1/1-1/1-1:1.0",
                                      "SUBSYSTEM=usb", "SEQNUM=7", "DEVTYPE=usb_interface"}));

  const Uevent device{"add", "/devices/usb1/1-1", "usb", "usb_device", "/dev/bus/usb/001/002"};
  const std::vector<std::string> withNode = Properties(UeventMessage(device, 8));
  ASSERT_EQ(withNode.size(), 6u);
  EXPECT_EQ(withNode[4], "DEVNAME=/dev/bus/usb/001/002");
  EXPECT_EQ(withNode[5], "DEVTYPE=usb_device");
}

TEST(UeventTest, EveryListenerGetsTheEventAndClosedOnesAreCleanedUp) {
  PrivateDir root;
  UniqueFd first = Listen(root / "event3");
  UniqueFd second = Listen(root / "event12");
  { UniqueFd closed = Listen(root / "event5"); }  // its monitor is gone, the socket file stays
  UniqueFd other = Listen(root / "eventually");   // not a monitor's name

  UeventSender sender(root.Path());
  EXPECT_EQ(sender.Send(Uevent{"add", "/devices/usb1/1-1", "usb", "usb_device", ""}), 2);
  EXPECT_EQ(Properties(Receive(first.Get()))[0], "ACTION=add");
  EXPECT_EQ(Properties(Receive(second.Get()))[3], "SEQNUM=1");
  EXPECT_TRUE(Receive(other.Get()).empty());
  EXPECT_FALSE(fs::exists(root / "event5"));

  EXPECT_EQ(sender.Send(Uevent{"remove", "/devices/usb1/1-1", "usb", "usb_device", ""}), 2);
  EXPECT_EQ(Properties(Receive(first.Get()))[3], "SEQNUM=2");  // numbered in order
}

bool Writable(int fd) {
  pollfd p{fd, POLLOUT, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0;
}

TEST(PollableNodeTest, ClientsSeeTheNodeWritableOnlyWhileReady) {
  PrivateDir dir;
  const std::string path = dir / "002";
  { std::ofstream plain(path); }  // as the testbed leaves it: a plain file
  auto node = std::make_unique<PollableNode>(path);
  UniqueFd client(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(client);
  EXPECT_FALSE(Writable(client.Get()));
  node->SetReady(true);
  EXPECT_TRUE(Writable(client.Get()));
  node->SetReady(true);
  EXPECT_TRUE(Writable(client.Get()));
  node->SetReady(false);
  EXPECT_FALSE(Writable(client.Get()));
  EXPECT_FALSE(node->Ready());

  node.reset();  // unplugged: whoever still holds the node must wake up and learn it
  EXPECT_TRUE(Writable(client.Get()));
}

TEST(UrbPipesReadinessTest, AnyDoneFollowsTheCurrentClientsCompletions) {
  UrbPipes pipes;
  pipes.Opened(1);
  ASSERT_EQ(pipes.Claim(1, 0), 0);
  EXPECT_FALSE(pipes.AnyDone());
  ASSERT_EQ(pipes.SubmitInterrupt(1, 5, kEndpointIn, 8, nullptr), 0);
  EXPECT_FALSE(pipes.AnyDone());  // submitted, not finished
  ASSERT_TRUE(pipes.GiveIn(Packet{}));
  EXPECT_TRUE(pipes.AnyDone());
  Completion done;
  ASSERT_EQ(pipes.Reap(1, done), 0);
  EXPECT_FALSE(pipes.AnyDone());

  // The old client's URBs, ended by the unplug, are not the new device's business.
  ASSERT_EQ(pipes.SubmitInterrupt(1, 6, kEndpointIn, 8, nullptr), 0);
  pipes.Unplug();
  pipes.Plug();
  EXPECT_FALSE(pipes.AnyDone());
  pipes.Opened(2);
  ASSERT_EQ(pipes.Claim(2, 0), 0);
  const Packet out{};
  ASSERT_EQ(pipes.SubmitInterrupt(2, 9, kEndpointOut, 8, &out), 0);
  ASSERT_TRUE(pipes.TakeOut().has_value());
  EXPECT_TRUE(pipes.AnyDone());
}

}  // namespace
}  // namespace qvx::sim::usb
