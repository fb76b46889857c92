#include "transport/InQueue.h"

namespace qvx::driver {

std::size_t CInQueue::Count(State state) const {
  std::size_t count = 0;
  for (const State s : m_state) {
    count += s == state ? 1 : 0;
  }
  return count;
}

void CInQueue::TopUp(InStep& step) {
  for (std::size_t i = 0; i < kDepth; ++i) {
    if (m_state[i] == State::Idle) {
      m_state[i] = State::Submitted;
      step.submit |= 1u << i;
    }
  }
}

void CInQueue::EndReaderWhenDrained(NTSTATUS status, InStep& step) {
  if (m_reader && Count(State::Submitted) == 0) {
    step.reader = static_cast<InCompletion&&>(m_reader);
    m_reader = nullptr;
    step.status = status;
  }
}

NTSTATUS CInQueue::Read(InCompletion reader, InStep& step) {
  if (m_aborted || m_reader) {
    return STATUS_INVALID_DEVICE_STATE;
  }
  if (m_readyCount > 0) {
    const std::size_t slot = m_ready[m_readyHead];
    m_readyHead = (m_readyHead + 1) % kDepth;
    --m_readyCount;
    m_state[slot] = State::Idle;
    step.reader = static_cast<InCompletion&&>(reader);
    step.status = STATUS_SUCCESS;
    step.packet = m_packets[slot];
    m_stopped = false;
    TopUp(step);
    return STATUS_SUCCESS;
  }
  if (!NT_SUCCESS(m_failure)) {
    const NTSTATUS failure = m_failure;
    m_failure = STATUS_SUCCESS;
    return failure;
  }
  m_stopped = false;
  m_reader = static_cast<InCompletion&&>(reader);
  TopUp(step);
  return STATUS_SUCCESS;
}

void CInQueue::Completed(std::size_t slot, NTSTATUS status, const Packet& packet, InStep& step) {
  if (slot >= kDepth || m_state[slot] != State::Submitted) {
    return;
  }
  m_state[slot] = State::Idle;
  if (NT_SUCCESS(status)) {
    if (m_reader) {
      // Even while a cancel is under way: the packet is read, not lost.
      step.reader = static_cast<InCompletion&&>(m_reader);
      m_reader = nullptr;
      step.status = STATUS_SUCCESS;
      step.packet = packet;
      if (!m_stopped && !m_aborted) {
        m_state[slot] = State::Submitted;
        step.submit |= 1u << slot;
      }
    } else if (!m_aborted) {
      m_state[slot] = State::Ready;
      m_packets[slot] = packet;
      m_ready[(m_readyHead + m_readyCount) % kDepth] = slot;
      ++m_readyCount;
    }
    return;
  }
  if (status == STATUS_CANCELLED) {
    if (m_reader && !m_stopped && !m_aborted) {
      // Cancelled for a reader that has gone since: the new one needs it.
      m_state[slot] = State::Submitted;
      step.submit |= 1u << slot;
      return;
    }
    EndReaderWhenDrained(STATUS_CANCELLED, step);
    return;
  }
  m_stopped = true;
  if (m_reader) {
    step.reader = static_cast<InCompletion&&>(m_reader);
    m_reader = nullptr;
    step.status = status;
  } else if (NT_SUCCESS(m_failure)) {
    m_failure = status;
  }
}

bool CInQueue::Cancel(InStep& step) {
  m_stopped = true;
  EndReaderWhenDrained(STATUS_CANCELLED, step);
  return Count(State::Submitted) > 0;
}

bool CInQueue::Abort(InStep& step) {
  m_aborted = true;
  for (State& state : m_state) {
    if (state == State::Ready) {
      state = State::Idle;
    }
  }
  m_readyCount = 0;
  return Cancel(step);
}

}  // namespace qvx::driver
