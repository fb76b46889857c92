// What the exported functions share: the request of an operation and the
// lookups of contexts and cards.
#pragma once

#include <winscard.h>

#include "Contexts.h"

namespace qvx::testing::relay {

inline wire::Writer Request(wire::Op op) {
  wire::Writer request;
  request.U8(static_cast<std::uint8_t>(op));
  return request;
}

inline LONG Failure(DWORD code) { return static_cast<LONG>(code); }

// The reply's fields after its result, read by the caller.
class CReplyFields : public wire::Reader {
 public:
  explicit CReplyFields(const wire::Bytes& reply) : wire::Reader(reply) { U32(); }
};

}  // namespace qvx::testing::relay
