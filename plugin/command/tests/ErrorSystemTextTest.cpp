// The Linux layer's system texts in a CError's text: the Windows wording
// for Win32 numbers, pcsc-lite's for PC/SC results.
#include "PluginTestSupport.h"
#include "brixon/Error.h"

namespace qvx::testing {
namespace {

using qvx::brixon::CError;

TEST(PluginErrorSystemText, WindowsWordingAndPcscLitesTexts) {
  EXPECT_EQ(CError("CTest::Run()", "message", 0x8010000Au).GetText(),
            "0x8010000A, SYSTEM_ERROR, Command timeout., User, 1, Communication error");
  EXPECT_EQ(CError("CTest::Run()", "message", 5).GetText(),
            "0x00000005, SYSTEM_ERROR, Access is denied., User, 1, Communication error");
}

}  // namespace
}  // namespace qvx::testing
