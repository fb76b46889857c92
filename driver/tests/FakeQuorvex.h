// A scripted Quorvex2 for the reader tests: the firmware side of the packet
// framing (commands in, answers out) and a lower edge that carries its
// packets to a CTransport. Each test owns its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "transport/LowerEdge.h"
#include "transport/Packet.h"

namespace qvxrdr_test {

using qvxrdr::Packet;
using Bytes = std::vector<std::uint8_t>;
using Packets = std::vector<Packet>;

inline Packet MakePacket(std::initializer_list<std::uint8_t> bytes) {
  Packet packet{};
  std::size_t i = 0;
  for (std::uint8_t b : bytes) packet[i++] = b;
  return packet;
}

// Response header and data packets of an answer with `code` and `data`.
inline Packets Answer(std::uint8_t code, const Bytes& data = {}) {
  Packets packets{MakePacket({0x01, 0x03, code, static_cast<std::uint8_t>(data.size() & 0xFF),
                              static_cast<std::uint8_t>(data.size() >> 8)})};
  for (std::size_t i = 0; i < data.size(); i += 6) {
    Packet p{};
    const std::size_t k = std::min<std::size_t>(6, data.size() - i);
    p[0] = 0x00;
    p[1] = static_cast<std::uint8_t>(k);
    for (std::size_t j = 0; j < k; ++j) p[2 + j] = data[i + j];
    packets.push_back(p);
  }
  return packets;
}

inline Packet EventHeader(std::uint8_t code) { return MakePacket({0x01, 0x03, code}); }

// The ATR in data packets of `chunk` bytes.
inline Packets AtrPackets(const Bytes& atr, std::size_t chunk = 6) {
  Packets packets;
  for (std::size_t i = 0; i < atr.size(); i += chunk) {
    Packet p{};
    const std::size_t k = std::min(chunk, atr.size() - i);
    p[1] = static_cast<std::uint8_t>(k);
    for (std::size_t j = 0; j < k; ++j) p[2 + j] = atr[i + j];
    packets.push_back(p);
  }
  return packets;
}

struct ReceivedCommand {
  std::uint8_t command = 0;
  Bytes data;
  bool operator==(const ReceivedCommand& other) const {
    return command == other.command && data == other.data;
  }
};

// The device's side of the framing. Answers go out through the sink.
class FakeQuorvexFirmware {
 public:
  using Sink = std::function<void(const Packets&)>;

  void SetSink(Sink sink) {
    std::lock_guard<std::mutex> guard(mutex_);
    sink_ = std::move(sink);
  }

  // Script. An answer given once is repeated for every later command of
  // that byte; several are used in turn, the last one repeating.
  void Script(std::uint8_t command, Packets packets) {
    std::lock_guard<std::mutex> guard(mutex_);
    answers_[command].push_back(std::move(packets));
  }
  void Script(std::uint8_t command, std::uint8_t code, const Bytes& data = {}) {
    Script(command, Answer(code, data));
  }
  // The command gets no answer until Release() or an abort.
  void Hold(std::uint8_t command) {
    std::lock_guard<std::mutex> guard(mutex_);
    holds_[command] = true;
  }
  void SetCardInserted(bool inserted) {
    std::lock_guard<std::mutex> guard(mutex_);
    cardInserted_ = inserted;
  }
  void SetAtr(Packets packets) {
    std::lock_guard<std::mutex> guard(mutex_);
    atr_ = std::move(packets);
  }
  // What the device sends when an abort ends a held command.
  void SetAbortAnswer(Packets packets) {
    std::lock_guard<std::mutex> guard(mutex_);
    abortAnswer_ = std::move(packets);
  }
  // Ends a held command with `packets`.
  void Release(const Packets& packets) {
    Sink sink;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      held_ = false;
      sink = sink_;
    }
    sink(packets);
  }
  void Send(const Packets& packets) {
    Sink sink;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      sink = sink_;
    }
    sink(packets);
  }

  // Everything the host wrote, and the commands it made of them.
  Packets Written() {
    std::lock_guard<std::mutex> guard(mutex_);
    return written_;
  }
  std::vector<ReceivedCommand> Commands() {
    std::lock_guard<std::mutex> guard(mutex_);
    return commands_;
  }
  Packets Aborts() {
    std::lock_guard<std::mutex> guard(mutex_);
    Packets aborts;
    for (const Packet& p : written_) {
      if (qvxrdr::IsAbort(p)) aborts.push_back(p);
    }
    return aborts;
  }
  void ClearLog() {
    std::lock_guard<std::mutex> guard(mutex_);
    written_.clear();
    commands_.clear();
  }
  // Waits until a command `command` has come in complete (and is held or
  // answered).
  bool WaitForCommand(std::uint8_t command,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      for (const auto& c : commands_) {
        if (c.command == command) return true;
      }
      return false;
    });
  }
  bool WaitForWritten(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return written_.size() >= count; });
  }
  bool WaitForAborts(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] {
      std::size_t n = 0;
      for (const Packet& p : written_) n += qvxrdr::IsAbort(p) ? 1 : 0;
      return n >= count;
    });
  }

  // One packet from the host.
  void OnPacket(const Packet& packet) {
    Packets out;
    Sink sink;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      written_.push_back(packet);
      out = Handle(packet);
      sink = sink_;
    }
    changed_.notify_all();
    if (!out.empty() && sink) sink(out);
  }

 private:
  Packets Handle(const Packet& packet) {
    if (qvxrdr::IsAbort(packet)) {
      // Only an operation under way is ended (and answered).
      if (held_ || collecting_) {
        held_ = false;
        collecting_ = false;
        return abortAnswer_;
      }
      return {};
    }
    switch (packet[0]) {
      case 0x02:
        if (packet[1] == 0x09) return {MakePacket({0x02, 0x81, static_cast<std::uint8_t>(cardInserted_ ? 1 : 0)})};
        if (packet[1] == 0x01 || packet[1] == 0x15) return atr_;
        return {};
      case 0x01:
        current_ = ReceivedCommand{packet[2], {}};
        expected_ = static_cast<std::size_t>(packet[3] | (packet[4] << 8));
        collecting_ = true;
        return expected_ == 0 ? Complete() : Packets{};
      case 0x00:
        if (!collecting_) return {};
        for (std::size_t i = 0; i < packet[1] && i < 6; ++i) current_.data.push_back(packet[2 + i]);
        return current_.data.size() >= expected_ ? Complete() : Packets{};
      default:
        return {};
    }
  }

  Packets Complete() {
    collecting_ = false;
    commands_.push_back(current_);
    if (holds_[current_.command]) {
      held_ = true;
      return {};
    }
    auto found = answers_.find(current_.command);
    if (found == answers_.end() || found->second.empty()) {
      // Check device answers in every state, as the device does: the
      // driver relies on it to get back in step.
      if (current_.command == 0x02) return Answer(0x05, {'0', '1', '.', '2', '0', 0x00});
      return Answer(0x07);  // a code no command accepts
    }
    Packets answer = found->second.front();
    if (found->second.size() > 1) found->second.pop_front();
    return answer;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  Sink sink_;
  std::map<std::uint8_t, std::deque<Packets>> answers_;
  std::map<std::uint8_t, bool> holds_;
  bool cardInserted_ = true;
  Packets atr_;
  Packets abortAnswer_{EventHeader(0x0B)};

  Packets written_;
  std::vector<ReceivedCommand> commands_;
  ReceivedCommand current_;
  std::size_t expected_ = 0;
  bool collecting_ = false;
  bool held_ = false;
};

// A lower edge in process: OUT packets go to the firmware at once, its
// answers come back through one IN transfer at a time on a thread of its
// own, as a real pipe's completions would.
class FakeQuorvexEdge final : public qvxrdr::ILowerEdge {
 public:
  explicit FakeQuorvexEdge(FakeQuorvexFirmware& firmware) : firmware_(firmware) {
    firmware_.SetSink([this](const Packets& packets) { Queue(packets); });
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeQuorvexEdge() override {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    firmware_.SetSink(nullptr);
    if (in_) in_(qvxrdr::STATUS_CANCELLED, Packet{});
  }

  void SetPacketSize(std::uint16_t size) { packetSize_ = size; }
  // The interface and serial number strings the device names itself with.
  void SetStrings(qvxrdr::DeviceNameStrings strings) { strings_ = std::move(strings); }
  // From now on IN transfers fail as if the cable were pulled.
  void FailIn() {
    std::lock_guard<std::mutex> guard(mutex_);
    failIn_ = true;
    wake_.notify_all();
  }
  // A cancelled IN transfer takes this long to complete.
  void SetCancelDelay(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> guard(mutex_);
    cancelDelay_ = delay;
  }
  // A device that lost power forgets what it still had to send.
  void DiscardQueued() {
    std::lock_guard<std::mutex> guard(mutex_);
    queue_.clear();
  }
  void FailOut() {
    std::lock_guard<std::mutex> guard(mutex_);
    failOut_ = true;
  }

  qvxrdr::NTSTATUS ReadDescriptors(qvxrdr::UsbDescriptors& descriptors) override {
    descriptors.endpoints = {{0x81, packetSize_}, {0x02, packetSize_}};
    descriptors.strings = strings_;
    return qvxrdr::STATUS_SUCCESS;
  }

  qvxrdr::NTSTATUS SubmitOut(const Packet& packet, qvxrdr::OutCompletion completion) override {
    bool fail = false;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (aborted_) return qvxrdr::STATUS_INVALID_DEVICE_STATE;
      fail = failOut_;
    }
    if (fail) {
      completion(qvxrdr::STATUS_UNSUCCESSFUL);
      return qvxrdr::STATUS_SUCCESS;
    }
    completion(qvxrdr::STATUS_SUCCESS);
    firmware_.OnPacket(packet);
    return qvxrdr::STATUS_SUCCESS;
  }

  qvxrdr::NTSTATUS SubmitIn(qvxrdr::InCompletion completion) override {
    std::lock_guard<std::mutex> guard(mutex_);
    if (aborted_ || in_) return qvxrdr::STATUS_INVALID_DEVICE_STATE;
    in_ = std::move(completion);
    wake_.notify_all();
    return qvxrdr::STATUS_SUCCESS;
  }

  void CancelIn() override {
    std::lock_guard<std::mutex> guard(mutex_);
    cancel_ = static_cast<bool>(in_);
    wake_.notify_all();
  }

  void AbortPipes() override {
    std::lock_guard<std::mutex> guard(mutex_);
    aborted_ = true;
    cancel_ = static_cast<bool>(in_);
    wake_.notify_all();
  }

 private:
  void Queue(const Packets& packets) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (const Packet& p : packets) queue_.push_back(p);
    wake_.notify_all();
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || (in_ && (cancel_ || failIn_ || !queue_.empty())); });
      if (stop_) return;
      qvxrdr::InCompletion completion = std::move(in_);
      in_ = nullptr;
      qvxrdr::NTSTATUS status = qvxrdr::STATUS_SUCCESS;
      Packet packet{};
      if (cancel_) {
        cancel_ = false;
        status = qvxrdr::STATUS_CANCELLED;
      } else if (failIn_) {
        status = qvxrdr::STATUS_DEVICE_REMOVED;
      } else {
        packet = queue_.front();
        queue_.pop_front();
      }
      const auto delay = status == qvxrdr::STATUS_CANCELLED ? cancelDelay_ : std::chrono::milliseconds(0);
      lock.unlock();
      std::this_thread::sleep_for(delay);
      completion(status, packet);
      lock.lock();
    }
  }

  FakeQuorvexFirmware& firmware_;
  std::uint16_t packetSize_ = 8;
  qvxrdr::DeviceNameStrings strings_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Packet> queue_;
  qvxrdr::InCompletion in_;
  bool cancel_ = false;
  bool aborted_ = false;
  bool failIn_ = false;
  bool failOut_ = false;
  bool stop_ = false;
  std::chrono::milliseconds cancelDelay_{0};
  std::thread thread_;
};

}  // namespace qvxrdr_test
