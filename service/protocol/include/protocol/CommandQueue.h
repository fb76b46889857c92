// CCommandQueue: the messages waiting for a command worker, in arrival order,
// under one mutex and one condition variable.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "protocol/Connection.h"

namespace qvx::protocol {

struct QueuedMessage {
  std::string payload;  // bytes as received, text or binary alike
  // Where the reply or close goes. The endpoint owns the connection for as
  // long as it is open, so a message whose connection has closed finds
  // this expired.
  std::weak_ptr<IConnection> handle;
};

class CCommandQueue {
 public:
  CCommandQueue() = default;
  CCommandQueue(const CCommandQueue&) = delete;
  CCommandQueue& operator=(const CCommandQueue&) = delete;

  // Called on the network thread: never looks at the payload, never blocks
  // for longer than the push itself.
  void Enqueue(std::string payload, std::weak_ptr<IConnection> handle);

  // Waits for the oldest message; nothing once the queue is stopped.
  std::optional<QueuedMessage> Take();

  // Wakes every waiting worker for good; later Takes return at once.
  void Stop();

  std::size_t Size() const;

 private:
  mutable std::mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<QueuedMessage> m_messages;
  bool m_stopping = false;
};

}  // namespace qvx::protocol
