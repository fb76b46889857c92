#include "device/ReplyBuffer.h"

#include <algorithm>

namespace qvx::driver {

NTSTATUS CopyReply(ByteView reply, std::uint8_t* out, std::size_t capacity, std::size_t* returned) {
  *returned = 0;
  if (reply.size() > capacity || (!reply.empty() && out == nullptr)) {
    return STATUS_BUFFER_TOO_SMALL;
  }
  std::copy(reply.begin(), reply.end(), out);
  *returned = reply.size();
  return STATUS_SUCCESS;
}

}  // namespace qvx::driver
