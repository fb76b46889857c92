// The plug-in's error-code table, derived from the shared rows so that the
// texts exist once: the plug-in's older table lacks SCARD_W_CANCELLED and
// files SCARD_E_CANCELLED under another session's cancel code.
#include <cstring>
#include <vector>

#include "brixon/Error.h"

namespace qvx::brixon {
namespace {

std::vector<ErrorCodeRow> BuildTable() {
  std::size_t count = 0;
  const ErrorCodeRow* rows = qvx::ErrorCodeTable(&count);
  std::vector<ErrorCodeRow> table;
  table.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    ErrorCodeRow row = rows[i];
    if (std::strcmp(row.name, "SCARD_W_CANCELLED") == 0) continue;
    if (std::strcmp(row.name, "SCARD_E_CANCELLED") == 0) row.code = kCancelledByOtherSessionCode;
    table.push_back(row);
  }
  return table;
}

const std::vector<ErrorCodeRow>& Table() {
  static const std::vector<ErrorCodeRow> table = BuildTable();
  return table;
}

}  // namespace

const ErrorCodeRow* ErrorCodeTable(std::size_t* count) {
  if (count != nullptr) *count = Table().size();
  return Table().data();
}

const ErrorCodeRow* FindErrorCode(std::uint32_t code) {
  if (code == 0) return nullptr;
  for (const ErrorCodeRow& row : Table()) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

}  // namespace qvx::brixon
