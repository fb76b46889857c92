#include "command/ReaderLookup.h"

#include <cstring>

#include "contract/ReaderName.h"
#include "platform/System.h"

namespace qvx {
namespace {

// Frees the resource manager's reader list on every path.
class CReaderList {
 public:
  CReaderList(platform::ISCard& scard, ::SCARDCONTEXT context)
      : m_scard(scard), m_context(context) {}
  ~CReaderList() {
    if (m_names != nullptr) m_scard.FreeMemory(m_context, m_names);
  }
  CReaderList(const CReaderList&) = delete;
  CReaderList& operator=(const CReaderList&) = delete;

  ::LONG List() {
    // With SCARD_AUTOALLOCATE the call stores a pointer to its own buffer.
    return m_scard.ListReaders(m_context, nullptr, reinterpret_cast<::LPSTR>(&m_names), &m_length);
  }
  const char* Names() const { return m_names; }
  std::size_t Length() const { return m_names == nullptr ? 0 : m_length; }

 private:
  platform::ISCard& m_scard;
  ::SCARDCONTEXT m_context;
  char* m_names = nullptr;
  ::DWORD m_length = SCARD_AUTOALLOCATE;
};

}  // namespace

::LONG FindReaderName(platform::ISCard& scard, ::SCARDCONTEXT context, std::string& name) {
  name.clear();
  CReaderList list(scard, context);
  const ::LONG result = list.List();
  if (result != SCARD_S_SUCCESS) return result;

  const std::size_t prefixLength = std::strlen(contract::kReaderNamePrefix);
  const char* names = list.Names();
  const std::size_t length = list.Length();
  std::size_t offset = 0;
  // A list without its final terminator ends at its length.
  while (names != nullptr && offset < length && names[offset] != '\0') {
    const char* candidate = names + offset;
    const std::size_t candidateLength = strnlen(candidate, length - offset);
    if (candidateLength >= prefixLength &&
        std::memcmp(candidate, contract::kReaderNamePrefix, prefixLength) == 0) {
      name.assign(candidate, candidateLength);
      break;
    }
    offset += candidateLength + 1;
  }
  return result;
}

::LONG ConnectDirectShare(platform::ISCard& scard, ::SCARDCONTEXT context,
                          const std::string& reader, ::SCARDHANDLE& card,
                          const std::function<void()>& askHolderToCancel) {
  for (int attempt = 1;; ++attempt) {
    ::DWORD protocol = 0;
    card = 0;
    const ::LONG result =
        scard.Connect(context, reader.c_str(), SCARD_SHARE_DIRECT, 0, &card, &protocol);
    if (result == SCARD_S_SUCCESS) return result;
    card = 0;
    if (result != static_cast<::LONG>(SCARD_E_SHARING_VIOLATION) || attempt >= kConnectAttempts) {
      return result;
    }
    // The holder is asked once; its request ends and it lets go.
    if (attempt == 1 && askHolderToCancel) askHolderToCancel();
    Sleep(kConnectRetryDelayMs);
  }
}

}  // namespace qvx
