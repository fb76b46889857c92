#include "reader/LastErrorRecord.h"

namespace qvx::driver {

namespace {

std::uint8_t ByteAt(ByteView data, std::size_t i) { return i < data.size() ? data[i] : 0; }

LastErrorRecord Category(std::uint8_t category) { return {category, 0, 0, 0}; }

LastErrorRecord WithDetail(std::uint8_t category, ByteView data) {
  return {category, ByteAt(data, 0), 0, 0};
}

}  // namespace

LastErrorRecord RecordForResult(NTSTATUS result, ByteView data) {
  switch (result) {
    case STATUS_SUCCESS:
    case STATUS_NO_MEDIA:
      return Category(0);
    case QVX_STATUS_RESPONSE_6:
    case STATUS_IO_TIMEOUT:
      return Category(1);
    case QVX_STATUS_ERROR_OTHER:
      return Category(2);
    case QVX_STATUS_EVENT_07:
      return Category(4);
    case QVX_STATUS_EVENT_0B:
      return Category(5);
    case QVX_STATUS_ERROR_130:
      return WithDetail(6, data);
    case QVX_STATUS_ERROR_131:
      return WithDetail(7, data);
    case QVX_STATUS_ERROR_1:
      return WithDetail(9, data);
    case QVX_STATUS_ERROR_25:
      return WithDetail(10, data);
    case QVX_STATUS_ERROR_128:
      return {11, ByteAt(data, 0), ByteAt(data, 1), ByteAt(data, 2)};
    case QVX_STATUS_ERROR_48:
      return WithDetail(12, data);
    case QVX_STATUS_ERROR_36:
      return WithDetail(13, data);
    default:
      // Framing, transfer failures, an unexpected answer, and any failure
      // without an entry of its own: the host must never read success.
      return Category(3);
  }
}

}  // namespace qvx::driver
