#include "CancelBridge.h"

#include "RelayConnection.h"
#include "contract/ReaderName.h"

namespace qvx::testing::relay {

namespace {

// Over a connection of its own: the context's connection is busy with the
// very call the cancel is meant to end.
void SetLinuxCancelEvent(const std::string& reader) {
  CRelayConnection connection;
  if (!connection.Open()) return;
  connection.Call(
      wire::Writer().U8(static_cast<std::uint8_t>(wire::Op::SetCancelEvent)).Text(reader));
}

}  // namespace

CCancelBridge::CCancelBridge(const std::string& reader) : m_reader(reader) {
  m_event = CreateEventA(nullptr, TRUE, FALSE, contract::CancelEventName(reader).c_str());
  m_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (m_event == nullptr || m_stop == nullptr) return;
  ResetEvent(m_event);
  m_thread = std::thread([this] { Watch(); });
}

CCancelBridge::~CCancelBridge() {
  if (m_thread.joinable()) {
    SetEvent(m_stop);
    m_thread.join();
  }
  if (m_event != nullptr) CloseHandle(m_event);
  if (m_stop != nullptr) CloseHandle(m_stop);
}

void CCancelBridge::Watch() {
  const HANDLE watched[] = {m_stop, m_event};
  while (WaitForMultipleObjects(2, watched, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    // Cleared before it is passed on, so a set that comes meanwhile is seen
    // on the next round rather than lost.
    ResetEvent(m_event);
    SetLinuxCancelEvent(m_reader);
  }
}

}  // namespace qvx::testing::relay
