// The revision-independent half of the message seam.
#include "command/Revision.h"

#include <cstdlib>

namespace qvx {

Status MessageStatus(Msg id) {
  switch (id) {
    case Msg::NothingReturned:
    case Msg::NotZeroTerminated:
    case Msg::NoDriverVersion:
    case Msg::DriverVersion:
    case Msg::SupportedVersionFormat:
    case Msg::ActualVersionFormat:
    case Msg::CardAnswerLength:
      return kStatusCommunicationError;
    case Msg::DeviceVersion:
      return kStatusIncorrectDeviceVersion;
    default:
      return kStatusInputError;
  }
}

void CRevision::Raise(Msg id, const std::vector<std::string>& args) const {
  const MessageEntry& entry = Entry(id);
  Throw(id, MessageStatus(id), entry, FillText(entry.text, args));
  // A revision that does not throw would let a failed check pass.
  std::abort();
}

std::string FillText(const char* text, const std::vector<std::string>& args) {
  std::string filled;
  std::size_t next = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (next < args.size()) filled += args[next];
      ++next;
      ++p;
    } else {
      filled += *p;
    }
  }
  return filled;
}

const MessageEntry& FindEntry(const MessageEntry* table, std::size_t count, Msg id) {
  for (std::size_t i = 0; i < count; ++i) {
    if (table[i].id == id) return table[i];
  }
  return SharedEntry(id);
}

}  // namespace qvx
