// CCommandWorkers: the pool of threads that take messages off the command
// queue, run them and answer on their connection.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "protocol/CommandQueue.h"
#include "protocol/DispatchCommand.h"

namespace qvx::protocol {

// The service runs this many commands at once; more requests wait in the
// queue.
constexpr std::size_t kCommandWorkerCount = 10;

class CCommandWorkers {
 public:
  // Starts `count` workers on `queue`, which must outlive this object.
  CCommandWorkers(CCommandQueue& queue, CommandFactory factory,
                  std::size_t count = kCommandWorkerCount);
  ~CCommandWorkers();
  CCommandWorkers(const CCommandWorkers&) = delete;
  CCommandWorkers& operator=(const CCommandWorkers&) = delete;

  // Stops the queue and joins every worker. A worker inside a device command
  // finishes it first, so the caller runs the reader cancel before this.
  // Messages still queued are dropped unanswered.
  void Stop() noexcept;

  // Waits until no worker runs a command (replies handed to their
  // connections) or the limit has passed; true when idle.
  bool WaitIdle(std::chrono::milliseconds limit);

 private:
  void Run() noexcept;
  void Handle(const QueuedMessage& message) noexcept;

  CCommandQueue& m_queue;
  const CommandFactory m_factory;
  std::vector<std::thread> m_workers;

  std::mutex m_busyMutex;
  std::condition_variable m_idle;
  std::size_t m_busy = 0;
};

}  // namespace qvx::protocol
