#include "protocol/CommandWorkers.h"

#include <exception>
#include <utility>

#include "protocol/HandleMessage.h"

namespace qvx::protocol {

CCommandWorkers::CCommandWorkers(CCommandQueue& queue, CommandFactory factory, std::size_t count)
    : m_queue(queue), m_factory(std::move(factory)) {
  m_workers.reserve(count);
  try {
    for (std::size_t i = 0; i < count; ++i) m_workers.emplace_back([this] { Run(); });
  } catch (...) {
    Stop();  // the threads already running must not outlive a failed start
    throw;
  }
}

CCommandWorkers::~CCommandWorkers() { Stop(); }

void CCommandWorkers::Stop() noexcept {
  m_queue.Stop();
  for (std::thread& worker : m_workers) {
    if (worker.joinable()) worker.join();
  }
}

bool CCommandWorkers::WaitIdle(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_busyMutex);
  return m_idle.wait_for(lock, limit, [this] { return m_busy == 0; });
}

void CCommandWorkers::Run() noexcept {
  while (std::optional<QueuedMessage> message = m_queue.Take()) {
    {
      std::lock_guard<std::mutex> lock(m_busyMutex);
      ++m_busy;
    }
    Handle(*message);
    std::lock_guard<std::mutex> lock(m_busyMutex);
    if (--m_busy == 0) m_idle.notify_all();
  }
}

void CCommandWorkers::Handle(const QueuedMessage& message) noexcept {
  try {
    const HandledMessage handled = HandleMessage(m_factory, message.payload);
    // The command runs even when its page closed while it waited (a Cancel
    // sent just before leaving must still reach the device); only the reply
    // is skipped, as it has no page to go to.
    if (const std::shared_ptr<IConnection> connection = message.handle.lock()) {
      if (handled.accepted) {
        connection->SendText(handled.reply);
      } else {
        connection->Close(kCloseInvalidPayload, std::string());
      }
    }
  } catch (...) {
    // Out of memory or a failing connection: this one request is lost,
    // the worker stays for the next.
  }
}

}  // namespace qvx::protocol
