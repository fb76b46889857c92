// The contract is what hosts built elsewhere and the installed driver agree
// on: an edit here breaks them silently, so the wire values are pinned.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "contract/ControlCodes.h"
#include "contract/LastError.h"
#include "contract/ReaderName.h"

namespace qvx::contract {
namespace {

TEST(ContractTest, ControlCodesKeepTheirWireValuesOnBothPaths) {
  struct Pinned {
    ControlIndex index;
    const char* name;
    std::uint32_t pcsc;
    std::uint32_t direct;
  };
  const Pinned pinned[] = {
      {ControlIndex::CheckDevice, "CheckDevice", 0x312004, 0x222004},
      {ControlIndex::CheckCard, "CheckCard", 0x312008, 0x222008},
      {ControlIndex::GetResponse, "GetResponse", 0x31200C, 0x22200C},
      {ControlIndex::GetMode1Response, "GetMode1Response", 0x312010, 0x222010},
      {ControlIndex::GetMode2Response, "GetMode2Response", 0x312014, 0x222014},
      {ControlIndex::DisplayResult, "DisplayResult", 0x312018, 0x222018},
      {ControlIndex::OpenCancelEvent, "OpenCancelEvent", 0x31201C, 0x22201C},
      {ControlIndex::IsCurrentReader, "IsCurrentReader", 0x312024, 0x222024},
      {ControlIndex::GetLastError, "GetLastError", 0x312028, 0x222028},
  };
  ASSERT_EQ(std::size(pinned), std::size(kControlCodes));
  for (const Pinned& p : pinned) {
    SCOPED_TRACE(p.name);
    const ControlCodeRow& row = ControlCode(p.index);
    EXPECT_STREQ(row.name, p.name);
    EXPECT_EQ(row.pcscCode, p.pcsc);
    EXPECT_EQ(row.directCode, p.direct);
  }
  // A function outside the table still maps into the same family.
  EXPECT_EQ(SmartCardControlCode(0x808), 0x312020u);
}

TEST(ContractTest, ReaderNameAndCancelEventNameMatchWhatPcscdLists) {
  const std::string listed = std::string(kReaderNamePrefix) + " [Signing] (S1) 01 00";
  EXPECT_EQ(listed.compare(0, std::strlen(kReaderNamePrefix), "Meridel Quorvex2_Reader"), 0);
  EXPECT_EQ(CancelEventName(listed),
            "Global\\Meridel Quorvex2_Reader [Signing] (S1) 01 00_cancel_event");
  EXPECT_EQ(kLastErrorRecordSize, LastErrorRecord{}.size());
  EXPECT_EQ(kLastErrorRecordSize, 4u);
}

}  // namespace
}  // namespace qvx::contract
