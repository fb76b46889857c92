#include "ScriptedEdge.h"

#include <utility>

namespace qvx::testing {

using qvx::driver::NT_SUCCESS;
using qvx::driver::STATUS_CANCELLED;
using qvx::driver::STATUS_INVALID_DEVICE_STATE;
using qvx::driver::STATUS_SUCCESS;

ScriptedEdge::ScriptedEdge() : m_thread([this] { Run(); }) {}

ScriptedEdge::~ScriptedEdge() {
  Change([this] { m_stop = true; });
  m_thread.join();
  std::function<void()> onClose;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    onClose = std::move(m_onClose);
  }
  if (onClose) onClose();
}

void ScriptedEdge::SetEndpoints(std::vector<qvx::driver::EndpointInfo> endpoints) {
  Change([&] { m_endpoints = std::move(endpoints); });
}

void ScriptedEdge::SetStrings(qvx::driver::DeviceNameStrings strings) {
  Change([&] { m_strings = std::move(strings); });
}

void ScriptedEdge::Send(const Packet& packet) {
  Change([&] { m_inbound.push_back({STATUS_SUCCESS, packet}); });
}

void ScriptedEdge::Send(const std::vector<Packet>& packets) {
  Change([&] {
    for (const Packet& packet : packets) m_inbound.push_back({STATUS_SUCCESS, packet});
  });
}

void ScriptedEdge::FailIn(NTSTATUS status) {
  Change([&] { m_inbound.push_back({status, Packet{}}); });
}

void ScriptedEdge::FailAllIn(NTSTATUS status) {
  Change([&] { m_allInStatus = status; });
}

void ScriptedEdge::DiscardUnsent() {
  Change([&] { m_inbound.clear(); });
}

void ScriptedEdge::FailSubmitIn(NTSTATUS status) {
  Change([&] { m_submitInStatus = status; });
}

void ScriptedEdge::SetCancelDelay(std::chrono::milliseconds delay) {
  Change([&] { m_cancelDelay = delay; });
}

void ScriptedEdge::SetWriteStatus(NTSTATUS status) {
  Change([&] { m_writeStatus = status; });
}

void ScriptedEdge::HoldWrites(bool hold) {
  Change([&] { m_holdWrites = hold; });
}

void ScriptedEdge::OnWrite(std::function<void(const Packet&)> hook) {
  Change([&] { m_onWrite = std::move(hook); });
}

void ScriptedEdge::OnClose(std::function<void()> hook) {
  Change([&] { m_onClose = std::move(hook); });
}

std::vector<ScriptedEdge::Packet> ScriptedEdge::Written() {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_written;
}

bool ScriptedEdge::WaitFor(const std::function<bool()>& pred) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::seconds(5), pred);
}

ScriptedEdge::NTSTATUS ScriptedEdge::ReadDescriptors(qvx::driver::UsbDescriptors& descriptors) {
  std::lock_guard<std::mutex> guard(m_mutex);
  descriptors.vendorId = 0x1209;
  descriptors.productId = 0x0001;
  descriptors.endpoints = {};
  for (const qvx::driver::EndpointInfo& endpoint : m_endpoints) {
    descriptors.endpoints.Add(endpoint);
  }
  descriptors.strings = m_strings;
  return STATUS_SUCCESS;
}

ScriptedEdge::NTSTATUS ScriptedEdge::SubmitOut(const Packet& packet,
                                               qvx::driver::OutCompletion completion) {
  std::function<void(const Packet&)> hook;
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted) return STATUS_INVALID_DEVICE_STATE;
    m_written.push_back(packet);
    m_outs.push_back(std::move(completion));
    if (NT_SUCCESS(m_writeStatus)) hook = m_onWrite;
  }
  m_changed.notify_all();
  if (hook) hook(packet);
  return STATUS_SUCCESS;
}

ScriptedEdge::NTSTATUS ScriptedEdge::SubmitIn(qvx::driver::InCompletion completion) {
  {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted) return STATUS_INVALID_DEVICE_STATE;
    if (!NT_SUCCESS(m_submitInStatus)) return m_submitInStatus;
    if (m_pendingIn) return STATUS_INVALID_DEVICE_STATE;
    m_pendingIn = std::move(completion);
  }
  m_changed.notify_all();
  return STATUS_SUCCESS;
}

void ScriptedEdge::CancelIn() {
  Change([this] { m_cancel = static_cast<bool>(m_pendingIn); });
}

void ScriptedEdge::AbortPipes() {
  Change([this] {
    m_aborted = true;
    m_cancel = static_cast<bool>(m_pendingIn);
  });
}

bool ScriptedEdge::InReady() const {
  return m_pendingIn && (m_cancel || !NT_SUCCESS(m_allInStatus) || !m_inbound.empty());
}

void ScriptedEdge::Run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock,
                   [this] { return m_stop || (!m_outs.empty() && !m_holdWrites) || InReady(); });
    if (m_stop) break;
    // Writes first: a device answers only what it has been sent.
    if (!m_outs.empty() && !m_holdWrites) {
      CompleteOut(lock);
    } else {
      CompleteIn(lock);
    }
    m_changed.notify_all();
  }
  // Whatever is still out ends as the real stack ends it on shutdown.
  if (m_pendingIn) {
    qvx::driver::InCompletion completion = std::move(m_pendingIn);
    m_pendingIn = nullptr;
    lock.unlock();
    completion(STATUS_CANCELLED, Packet{});
  }
}

void ScriptedEdge::CompleteOut(std::unique_lock<std::mutex>& lock) {
  qvx::driver::OutCompletion completion = std::move(m_outs.front());
  m_outs.pop_front();
  const NTSTATUS status = m_writeStatus;
  lock.unlock();
  completion(status);
  lock.lock();
}

void ScriptedEdge::CompleteIn(std::unique_lock<std::mutex>& lock) {
  qvx::driver::InCompletion completion = std::move(m_pendingIn);
  m_pendingIn = nullptr;
  Inbound inbound{STATUS_CANCELLED, Packet{}};
  std::chrono::milliseconds delay{0};
  if (m_cancel) {
    m_cancel = false;
    delay = m_cancelDelay;
  } else if (!NT_SUCCESS(m_allInStatus)) {
    inbound.status = m_allInStatus;
  } else {
    inbound = m_inbound.front();
    m_inbound.pop_front();
  }
  lock.unlock();
  std::this_thread::sleep_for(delay);
  completion(inbound.status, inbound.packet);
  lock.lock();
}

}  // namespace qvx::testing
