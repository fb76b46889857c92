// Lower edge over the simulator's Unix SOCK_SEQPACKET socket: one 8-byte
// message per packet in each direction; the peer closing is the cable
// being pulled.
//
// Offers: SocketLowerEdge::Connect(path) and the constructor from a
// connected socket (tests use a socketpair); kTestVendorId/kTestProductId,
// the ids it reports in its synthesised descriptors.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "transport/LowerEdge.h"
#include "platform/posix/UniqueFd.h"

namespace qvx::driver {

using platform::UniqueFd;

// pid.codes' vendor id with its test product id.
constexpr std::uint16_t kTestVendorId = 0x1209;
constexpr std::uint16_t kTestProductId = 0x0001;

class SocketLowerEdge final : public ILowerEdge {
 public:
  // nullptr when the socket cannot be connected.
  static std::unique_ptr<SocketLowerEdge> Connect(const std::string& path);

  // Takes ownership of a connected SOCK_SEQPACKET socket.
  explicit SocketLowerEdge(int socket);
  ~SocketLowerEdge() override;
  SocketLowerEdge(const SocketLowerEdge&) = delete;
  SocketLowerEdge& operator=(const SocketLowerEdge&) = delete;

  NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) override;
  NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) override;
  NTSTATUS SubmitIn(InCompletion completion) override;
  void CancelIn() override;
  void AbortPipes() override;

 private:
  using OutTransfer = std::pair<Packet, OutCompletion>;

  void Run();
  void Wake();
  void ReceiveIn();
  void SendOut();
  void CompleteIn(NTSTATUS status, const Packet& packet);
  void FailAll(NTSTATUS status);

  UniqueFd m_socket;
  UniqueFd m_wake;  // eventfd that interrupts the event thread's poll

  std::mutex m_mutex;
  InCompletion m_pendingIn;              // set while an IN transfer is outstanding
  std::deque<OutTransfer> m_pendingOut;  // sent by the event thread in order
  bool m_cancelIn = false;
  bool m_aborted = false;
  bool m_gone = false;  // the peer closed: the device was pulled
  bool m_stop = false;
  std::thread m_thread;  // last: starts after everything above exists
};

}  // namespace qvx::driver
