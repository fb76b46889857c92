// The URBs of the emulated device between the two threads that touch them:
// the ioctl handler (submit, reap, discard, claim, on behalf of each client
// that opened the device node) and the simulator's loop (which moves packets
// between the URBs and the firmware). Thread-safe; every call is short.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "device/DevicePackets.h"
#include "link/Pacer.h"
#include "usb/UrbTiming.h"

namespace qvx::sim::usb {

using Owner = std::uintptr_t;      // one client's open device node
using UrbAddress = std::uint64_t;  // the URB's address in that client

struct Completion {
  UrbAddress urb = 0;
  int status = 0;  // 0 or a negative errno, as usbdevfs reports it
  int actualLength = 0;
  std::optional<Packet> in;  // the packet an IN URB carries back
  // For the timing of interrupt transfers: which endpoint, and when the
  // frame carried the packet.
  bool interrupt = false;
  bool inEndpoint = false;
  SteadyTime finished{};
};

struct Changes {
  bool disconnected = false;
  bool connected = false;
};

class UrbPipes {
 public:
  // The handler's side. Each returns 0 or the errno of the ioctl.
  void Opened(Owner owner);
  int Claim(Owner owner, unsigned interface);
  int Release(Owner owner, unsigned interface);
  // An interrupt URB on the IN or OUT endpoint. OUT URBs carry one packet
  // (`out`); IN URBs take one packet.
  int SubmitInterrupt(Owner owner, UrbAddress urb, std::uint8_t endpoint, int length,
                      const Packet* out);
  // A URB that is done at once (a control transfer answered on the spot).
  int SubmitDone(Owner owner, const Completion& done);
  int Discard(Owner owner, UrbAddress urb);
  // 0 and `done`; EAGAIN when nothing is done; ENODEV when unplugged and nothing is left.
  int Reap(Owner owner, Completion& done);
  // The client closed the device node: its claim and URBs go.
  void Vanished(Owner owner);
  // Unplugged, or a client of the device as it was before the last unplug.
  bool Gone(Owner owner) const;

  // The loop's side.
  bool OutWaiting() const;
  // When the oldest waiting OUT or IN URB was submitted; empty when none waits.
  std::optional<SteadyTime> OldestOut() const;
  std::optional<SteadyTime> OldestIn() const;
  // The oldest OUT packet; its URB completes.
  std::optional<Packet> TakeOut(SteadyTime now = std::chrono::steady_clock::now());
  bool InWaiting() const;
  // Completes the oldest IN URB with `packet`, which the firmware had ready
  // at `ready`; false when none waits.
  bool GiveIn(const Packet& packet, SteadyTime ready = {},
              SteadyTime now = std::chrono::steady_clock::now());
  std::string TimingText() const;
  void ClearTiming();
  bool Claimed() const;
  // Whether a client of the device as it is now has finished URBs to reap.
  bool AnyDone() const;
  Changes TakeChanges();
  // Pending URBs end with ENODEV; the clients of the device, then and
  // after Plug, get ENODEV for every call (Reap once their URBs are reaped).
  void Unplug();
  void Plug();

 private:
  struct Pending {
    Owner owner;
    UrbAddress urb;
    Packet out;
    SteadyTime submitted;
  };

  bool GoneLocked(Owner owner) const { return m_unplugged || m_stale.count(owner) != 0; }
  int CheckClaim(Owner owner);  // m_mutex held
  void ReleaseClaim();          // m_mutex held
  void Done(Owner owner, Completion done) { m_done[owner].push_back(done); }

  mutable std::mutex m_mutex;
  bool m_unplugged = false;
  std::set<Owner> m_open;
  std::set<Owner> m_stale;  // opened before the last unplug
  std::optional<Owner> m_claimedBy;
  std::deque<Pending> m_in;
  std::deque<Pending> m_out;
  std::map<Owner, std::deque<Completion>> m_done;
  Changes m_changes;
  UrbTiming m_timing;
};

}  // namespace qvx::sim::usb
