// The response check, the device error bytes and the last-error record.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "reader/LastErrorRecord.h"
#include "reader/ResponseCheck.h"

namespace qvx::driver {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::set<int> Range(int low, int high) {
  std::set<int> s;
  for (int i = low; i <= high; ++i) s.insert(i);
  return s;
}

std::set<int> Union(std::initializer_list<std::set<int>> parts) {
  std::set<int> all;
  for (const auto& p : parts) all.insert(p.begin(), p.end());
  return all;
}

TEST(VendorErrorTablesTest, EveryErrorByteFallsInItsGroup) {
  const std::map<NTSTATUS, std::set<int>> groups = {
      {0xE0100003u, {25, 33, 37, 40}},
      {0xE0100002u, {36}},
      {0xA0100013u, Union({Range(48, 52), Range(64, 72), {114}})},
      {0xE0100001u, Union({{128, 129, 132}, Range(134, 137)})},
      {0xA010006Cu, {130}},
      {0xA0100001u, {131, 133}},
      {0xA010001Cu, Union({Range(1, 9), Range(16, 24), {32, 34, 35, 38, 39, 41}})},
      {0xA0100014u, Union({{0},
                           Range(10, 15),
                           Range(26, 31),
                           Range(42, 47),
                           Range(53, 63),
                           Range(73, 113),
                           Range(115, 127),
                           Range(138, 255)})},
  };
  int covered = 0;
  for (const auto& [result, bytes] : groups) covered += static_cast<int>(bytes.size());
  ASSERT_EQ(covered, 256) << "the groups must partition the byte values";
  for (const auto& [result, bytes] : groups) {
    for (int e : bytes) {
      EXPECT_EQ(DeviceErrorResult(static_cast<std::uint8_t>(e)), result) << "error byte " << e;
    }
  }
}

struct CheckCase {
  const char* name;
  std::uint8_t required;
  std::uint8_t code;
  Bytes data;
  NTSTATUS result;
};

TEST(VendorErrorTablesTest, ResponseCheck) {
  const CheckCase cases[] = {
      {"1 with first byte 1", 1, 1, {1, 9}, STATUS_SUCCESS},
      {"1 with first byte 0", 1, 1, {0}, 0xE0100000u},
      {"1 without data", 1, 1, {}, 0xE0100000u},
      {"1 when 2 required", 2, 1, {1}, 0xE0100000u},
      {"2 required", 2, 2, {}, STATUS_SUCCESS},
      {"3 required", 3, 3, {7}, STATUS_SUCCESS},
      {"4 required", 4, 4, {}, STATUS_SUCCESS},
      {"5 required", 5, 5, {}, STATUS_SUCCESS},
      {"3 when 2 required", 2, 3, {}, 0xE0100000u},
      {"6", 3, 6, {}, 0xA010000Au},
      {"8 with byte 36", 2, 8, {36}, 0xE0100002u},
      {"8 with byte 130", 2, 8, {130, 1}, 0xA010006Cu},
      {"8 without data", 2, 8, {}, 0xE0100000u},
      {"7", 2, 7, {}, 0xE0100000u},
      {"0", 2, 0, {}, 0xE0100000u},
      {"255", 2, 255, {}, 0xE0100000u},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CheckResponse(c.required, c.code, c.data.data(), c.data.size()), c.result);
  }
}

struct RecordCase {
  NTSTATUS result;
  Bytes data;
  LastErrorRecord record;
};

TEST(VendorErrorTablesTest, RecordOfEachResult) {
  const Bytes d{0x24, 0x6A, 0x82, 0x99};
  const RecordCase cases[] = {
      {0xA010000Au, d, {1, 0, 0, 0}},
      {0xA0100014u, d, {2, 0, 0, 0}},
      {0xE0002003u, d, {3, 0, 0, 0}},
      {0xE0002004u, d, {3, 0, 0, 0}},
      {0xE0002005u, d, {3, 0, 0, 0}},
      {0xE0100000u, d, {3, 0, 0, 0}},
      {STATUS_INVALID_DEVICE_REQUEST, d, {3, 0, 0, 0}},
      {STATUS_INSUFFICIENT_RESOURCES, d, {3, 0, 0, 0}},
      {0xE0002002u, d, {4, 0, 0, 0}},
      {0xE0002001u, d, {5, 0, 0, 0}},
      {0xA010006Cu, d, {6, 0x24, 0, 0}},
      {0xA0100001u, d, {7, 0x24, 0, 0}},
      {0xA010001Cu, d, {9, 0x24, 0, 0}},
      {0xE0100003u, {25}, {10, 25, 0, 0}},
      {0xE0100003u, {40}, {10, 40, 0, 0}},
      {0xE0100001u, d, {11, 0x24, 0x6A, 0x82}},
      {0xE0100001u, {0x81}, {11, 0x81, 0, 0}},
      {0xA0100013u, d, {12, 0x24, 0, 0}},
      {0xE0100002u, d, {13, 0x24, 0, 0}},
      {0xE0100002u, {}, {13, 0, 0, 0}},
      {STATUS_IO_TIMEOUT, d, {1, 0, 0, 0}},
      {STATUS_NO_MEDIA, d, {0, 0, 0, 0}},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.result);
    EXPECT_EQ(RecordForResult(c.result, c.data), c.record);
  }
}

}  // namespace
}  // namespace qvx::driver
