// The service's revision: the shared wording of the check failures, raised
// as CReport with the origin after the text.
#include "command/Report.h"
#include "command/Revision.h"

namespace qvx {
namespace {

class CServiceRevision final : public CRevision {
 public:
  const char* Version() const override { return "02.20"; }
  std::size_t MaxPanLength() const override { return 128; }
  const MessageEntry& Entry(Msg id) const override { return SharedEntry(id); }

 protected:
  void Throw(Msg, Status status, const MessageEntry& entry,
             const std::string& text) const override {
    std::string message = text;
    if (entry.origin[0] != '\0') {
      message += ", ";
      message += entry.origin;
    }
    throw CReport::WithMessage(status, LEVEL_ERROR, entry.source, message);
  }
};

}  // namespace

const CRevision& ServiceRevision() {
  static const CServiceRevision revision;
  return revision;
}

}  // namespace qvx
