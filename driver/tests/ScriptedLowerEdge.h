// A lower edge for tests: the test scripts what the device sends and how
// writes end, and reads back what was written. Completions run on the
// edge's own thread, as with a real backend.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "transport/LowerEdge.h"

namespace qvxrdr::testing {

class ScriptedLowerEdge final : public ILowerEdge {
 public:
  ScriptedLowerEdge() : thread_([this] { Run(); }) {}
  ~ScriptedLowerEdge() override {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // Script.
  void SetEndpoints(std::vector<EndpointInfo> endpoints) {
    std::lock_guard<std::mutex> guard(mutex_);
    endpoints_ = std::move(endpoints);
  }
  // The device sends a packet (or the IN transfer fails with status).
  void Send(const Packet& packet) { Queue({STATUS_SUCCESS, packet}); }
  void FailIn(NTSTATUS status) { Queue({status, Packet{}}); }
  // Writes complete with this status (success by default)...
  void SetWriteStatus(NTSTATUS status) { Set([&] { writeStatus_ = status; }); }
  // ...or stay outstanding while held.
  void HoldWrites(bool hold) { Set([&] { holdWrites_ = hold; }); }
  void FailSubmitIn(NTSTATUS status) { Set([&] { submitInStatus_ = status; }); }
  // Called on the writer's thread for every packet written, after it is recorded.
  void OnWrite(std::function<void(const Packet&)> hook) { Set([&] { onWrite_ = std::move(hook); }); }

  // Observation.
  std::vector<Packet> Written() {
    std::lock_guard<std::mutex> guard(mutex_);
    return written_;
  }
  std::size_t Unread() {
    std::lock_guard<std::mutex> guard(mutex_);
    return inbound_.size();
  }
  bool InOutstanding() {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<bool>(pendingIn_);
  }
  // Waits until pred() holds (checked under the edge's lock) or 5 s pass.
  bool WaitFor(const std::function<bool()>& pred) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), pred);
  }
  std::size_t WrittenCountLocked() const { return written_.size(); }
  bool InOutstandingLocked() const { return static_cast<bool>(pendingIn_); }

  // ILowerEdge.
  NTSTATUS ReadDescriptors(UsbDescriptors& descriptors) override {
    std::lock_guard<std::mutex> guard(mutex_);
    descriptors.vendorId = 0x1209;
    descriptors.productId = 0x0001;
    descriptors.endpoints = endpoints_;
    return STATUS_SUCCESS;
  }
  NTSTATUS SubmitOut(const Packet& packet, OutCompletion completion) override {
    std::function<void(const Packet&)> hook;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (aborted_) {
        return STATUS_INVALID_DEVICE_STATE;
      }
      written_.push_back(packet);
      outs_.push_back(std::move(completion));
      hook = onWrite_;
    }
    changed_.notify_all();
    if (hook) {
      hook(packet);
    }
    return STATUS_SUCCESS;
  }
  NTSTATUS SubmitIn(InCompletion completion) override {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      if (aborted_ || !NT_SUCCESS(submitInStatus_)) {
        return aborted_ ? STATUS_INVALID_DEVICE_STATE : submitInStatus_;
      }
      if (pendingIn_) {
        return STATUS_INVALID_DEVICE_STATE;
      }
      pendingIn_ = std::move(completion);
    }
    changed_.notify_all();
    return STATUS_SUCCESS;
  }
  void CancelIn() override { Set([&] { cancel_ = static_cast<bool>(pendingIn_); }); }
  void AbortPipes() override {
    Set([&] {
      aborted_ = true;
      cancel_ = static_cast<bool>(pendingIn_);
    });
  }

 private:
  struct Inbound {
    NTSTATUS status;
    Packet packet;
  };

  template <typename F>
  void Set(F change) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      change();
    }
    changed_.notify_all();
  }
  void Queue(Inbound inbound) { Set([&] { inbound_.push_back(inbound); }); }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] {
        return stop_ || (!outs_.empty() && !holdWrites_) ||
               (pendingIn_ && (cancel_ || !inbound_.empty()));
      });
      if (stop_) {
        break;
      }
      if (!outs_.empty() && !holdWrites_) {
        OutCompletion completion = std::move(outs_.front());
        outs_.pop_front();
        const NTSTATUS status = writeStatus_;
        lock.unlock();
        completion(status);
        lock.lock();
        continue;
      }
      InCompletion completion = std::move(pendingIn_);
      pendingIn_ = nullptr;
      Inbound inbound{STATUS_CANCELLED, Packet{}};
      if (cancel_) {
        cancel_ = false;
      } else {
        inbound = inbound_.front();
        inbound_.pop_front();
      }
      lock.unlock();
      completion(inbound.status, inbound.packet);
      lock.lock();
      changed_.notify_all();
    }
    // Whatever is still out ends as the real stack ends it on shutdown.
    if (pendingIn_) {
      InCompletion completion = std::move(pendingIn_);
      pendingIn_ = nullptr;
      lock.unlock();
      completion(STATUS_CANCELLED, Packet{});
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<EndpointInfo> endpoints_{{0x81, 8}, {0x02, 8}};
  std::deque<Inbound> inbound_;
  std::deque<OutCompletion> outs_;
  std::vector<Packet> written_;
  std::function<void(const Packet&)> onWrite_;
  InCompletion pendingIn_;
  NTSTATUS writeStatus_ = STATUS_SUCCESS;
  NTSTATUS submitInStatus_ = STATUS_SUCCESS;
  bool holdWrites_ = false;
  bool cancel_ = false;
  bool aborted_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace qvxrdr::testing
