// Internal: the calling thread's queue, for the message-pumping wait.
#pragma once

namespace platform {
namespace detail {

class ThreadQueue;

// Creates the queue on first use; nullptr (last error set) on failure.
ThreadQueue* CurrentQueue();
bool HasMessage(ThreadQueue& queue);
int Descriptor(ThreadQueue& queue);

}  // namespace detail
}  // namespace platform
