#include "FakeSCard.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "contract/ControlCodes.h"
#include "contract/LastError.h"

namespace qvx::testing {

namespace {

constexpr DWORD kGetLastErrorCode =
    qvx::contract::ControlCode(qvx::contract::ControlIndex::GetLastError).pcscCode;

// Reader names as pcsc-lite lists them: each name NUL-terminated, the list
// closed by one more NUL.
std::string MultiString(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) {
    list += name;
    list += '\0';
  }
  list += '\0';
  return list;
}

}  // namespace

void FakeSCard::QueueControl(DWORD controlCode, ControlAnswer answer) {
  m_answers[controlCode].push_back(std::move(answer));
}

std::vector<FakeSCard::Call> FakeSCard::CallsTo(const std::string& function) const {
  std::vector<Call> found;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
               [&](const Call& call) { return call.function == function; });
  return found;
}

std::vector<FakeSCard::Call> FakeSCard::ControlCalls(DWORD controlCode) const {
  std::vector<Call> found;
  std::copy_if(calls.begin(), calls.end(), std::back_inserter(found), [&](const Call& call) {
    return call.function == "Control" && call.controlCode == controlCode;
  });
  return found;
}

bool FakeSCard::IsOpenContext(SCARDCONTEXT context) const { return m_contexts.count(context) != 0; }

bool FakeSCard::IsOpenCard(SCARDHANDLE card) const { return m_cards.count(card) != 0; }

LONG FakeSCard::EstablishContext(DWORD /*scope*/, LPCVOID /*reserved1*/, LPCVOID /*reserved2*/,
                                 LPSCARDCONTEXT context) {
  calls.push_back(Call{"EstablishContext", {}, 0, 0, {}, 0, 0});
  if (context == nullptr) return SCARD_E_INVALID_PARAMETER;
  *context = 0;
  if (establishResult != SCARD_S_SUCCESS) return establishResult;
  *context = m_nextContext++;
  m_contexts.insert(*context);
  m_openContexts = static_cast<int>(m_contexts.size());
  return SCARD_S_SUCCESS;
}

LONG FakeSCard::ReleaseContext(SCARDCONTEXT context) {
  calls.push_back(Call{"ReleaseContext", {}, 0, 0, {}, 0, 0});
  if (!IsOpenContext(context)) return SCARD_E_INVALID_HANDLE;
  // A scripted failure still ends the context, so leak counts stay honest.
  m_contexts.erase(context);
  m_openContexts = static_cast<int>(m_contexts.size());
  return releaseResult;
}

LONG FakeSCard::ListReaders(SCARDCONTEXT context, LPCSTR /*groups*/, LPSTR readersOut,
                            LPDWORD readersLength) {
  calls.push_back(Call{"ListReaders", {}, 0, 0, {}, 0, 0});
  if (!IsOpenContext(context)) return SCARD_E_INVALID_HANDLE;
  if (readersLength == nullptr) return SCARD_E_INVALID_PARAMETER;
  if (listResult != SCARD_S_SUCCESS) return listResult;
  if (readers.empty()) return SCARD_E_NO_READERS_AVAILABLE;

  const std::string list = MultiString(readers);
  const auto size = static_cast<DWORD>(list.size());
  if (*readersLength == SCARD_AUTOALLOCATE) {
    if (readersOut == nullptr) return SCARD_E_INVALID_PARAMETER;
    std::unique_ptr<char, FreeBlock> block(static_cast<char*>(std::malloc(list.size())));
    if (!block) return SCARD_E_NO_MEMORY;
    std::memcpy(block.get(), list.data(), list.size());
    *reinterpret_cast<char**>(readersOut) = block.get();
    m_blocks.emplace(block.get(), std::move(block));
    m_allocations = static_cast<int>(m_blocks.size());
    *readersLength = size;
    return SCARD_S_SUCCESS;
  }
  if (readersOut == nullptr) {  // size query
    *readersLength = size;
    return SCARD_S_SUCCESS;
  }
  if (*readersLength < size) {
    *readersLength = size;
    return SCARD_E_INSUFFICIENT_BUFFER;
  }
  std::memcpy(readersOut, list.data(), list.size());
  *readersLength = size;
  return SCARD_S_SUCCESS;
}

LONG FakeSCard::FreeMemory(SCARDCONTEXT context, LPCVOID memory) {
  calls.push_back(Call{"FreeMemory", {}, 0, 0, {}, 0, 0});
  if (!IsOpenContext(context)) return SCARD_E_INVALID_HANDLE;
  // Only blocks this fake handed out; a double free shows up as a failure.
  if (m_blocks.erase(memory) == 0) return SCARD_E_INVALID_PARAMETER;
  m_allocations = static_cast<int>(m_blocks.size());
  return SCARD_S_SUCCESS;
}

LONG FakeSCard::Connect(SCARDCONTEXT context, LPCSTR reader, DWORD shareMode,
                        DWORD /*preferredProtocols*/, LPSCARDHANDLE card, LPDWORD activeProtocol) {
  calls.push_back(Call{"Connect", reader != nullptr ? reader : "", shareMode, 0, {}, 0, 0});
  if (onCall) onCall(calls.back());
  if (card == nullptr || activeProtocol == nullptr || reader == nullptr)
    return SCARD_E_INVALID_PARAMETER;
  *card = 0;
  *activeProtocol = SCARD_PROTOCOL_UNDEFINED;
  if (!IsOpenContext(context)) return SCARD_E_INVALID_HANDLE;
  if (!connectResults.empty()) {
    const LONG result = connectResults.front();
    connectResults.pop_front();
    if (result != SCARD_S_SUCCESS) return result;
  }
  *card = m_nextCard++;
  m_cards.insert(*card);
  m_openCards = static_cast<int>(m_cards.size());
  return SCARD_S_SUCCESS;
}

LONG FakeSCard::Disconnect(SCARDHANDLE card, DWORD disposition) {
  calls.push_back(Call{"Disconnect", {}, 0, 0, {}, 0, disposition});
  if (!IsOpenCard(card)) return SCARD_E_INVALID_HANDLE;
  // pcsc-lite forgets the handle even when the disconnect fails.
  m_cards.erase(card);
  m_openCards = static_cast<int>(m_cards.size());
  return disconnectResult;
}

LONG FakeSCard::Control(SCARDHANDLE card, DWORD controlCode, LPCVOID sendBuffer, DWORD sendLength,
                        LPVOID receiveBuffer, DWORD receiveLength, LPDWORD bytesReturned) {
  Call call{"Control", {}, 0, controlCode, {}, receiveLength, 0};
  if (sendBuffer != nullptr) {
    const auto* bytes = static_cast<const BYTE*>(sendBuffer);
    call.request.assign(bytes, bytes + sendLength);
  }
  calls.push_back(std::move(call));
  if (onCall) onCall(calls.back());
  if (bytesReturned != nullptr) *bytesReturned = 0;
  if (!IsOpenCard(card)) return SCARD_E_INVALID_HANDLE;
  if (sendBuffer == nullptr && sendLength != 0) return SCARD_E_INVALID_PARAMETER;

  ControlAnswer answer;
  auto queued = m_answers.find(controlCode);
  if (queued != m_answers.end() && !queued->second.empty()) {
    answer = std::move(queued->second.front());
    queued->second.pop_front();
  } else if (controlCode == kGetLastErrorCode) {
    answer.data.assign(std::min<std::size_t>(qvx::contract::kLastErrorRecordSize, receiveLength),
                       0);
  }
  if (answer.result != SCARD_S_SUCCESS) return answer.result;
  if (answer.data.size() > receiveLength) return SCARD_E_INSUFFICIENT_BUFFER;
  if (!answer.data.empty()) {
    if (receiveBuffer == nullptr) return SCARD_E_INVALID_PARAMETER;
    std::memcpy(receiveBuffer, answer.data.data(), answer.data.size());
  }
  if (bytesReturned != nullptr) *bytesReturned = static_cast<DWORD>(answer.data.size());
  return SCARD_S_SUCCESS;
}

}  // namespace qvx::testing
