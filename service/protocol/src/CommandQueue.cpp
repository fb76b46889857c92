#include "protocol/CommandQueue.h"

#include <utility>

namespace qvx::protocol {

void CCommandQueue::Enqueue(std::string payload, std::weak_ptr<IConnection> handle) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_messages.push_back({std::move(payload), std::move(handle)});
  }
  m_ready.notify_one();
}

std::optional<QueuedMessage> CCommandQueue::Take() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_ready.wait(lock, [this] { return m_stopping || !m_messages.empty(); });
  if (m_stopping) return std::nullopt;
  QueuedMessage message = std::move(m_messages.front());
  m_messages.pop_front();
  return message;
}

void CCommandQueue::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_ready.notify_all();
}

std::size_t CCommandQueue::Size() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_messages.size();
}

}  // namespace qvx::protocol
