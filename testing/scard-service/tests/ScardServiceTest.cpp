// The parts of the test smart-card service that need no driver: how readers
// are named and what a driver's failure means to a WinSCard caller.
#include <gtest/gtest.h>
#include <winscard.h>

#include "ReaderDevices.h"
#include "ScardResult.h"

namespace qvx::testing::scard {
namespace {

TEST(ReaderNameTest, JoinsVendorTypeAndUnitWithoutTheDriversTerminators) {
  struct Case {
    std::string vendor, type;
    ULONG unit;
    const char* name;
  };
  const Case cases[] = {
      {std::string("Meridel\0", 8), std::string("Quorvex2_Reader\0", 16), 0,
       "Meridel Quorvex2_Reader 0"},
      {"Meridel", "Quorvex2_Reader", 1, "Meridel Quorvex2_Reader 1"},
      // Whatever follows a terminator is not part of the text.
      {std::string("Meridel\0xx", 10), "Quorvex2_Reader", 12, "Meridel Quorvex2_Reader 12"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReaderName(c.vendor, c.type, c.unit), c.name) << c.name;
  }
}

TEST(ScardResultTest, NamesTheConditionsTheServiceKnowsAndPassesTheRest) {
  struct Case {
    DWORD win32;
    LONG scard;
  };
  const Case cases[] = {
      {ERROR_SUCCESS, SCARD_S_SUCCESS},
      {ERROR_NO_MEDIA_IN_DRIVE, SCARD_W_REMOVED_CARD},
      {ERROR_UNRECOGNIZED_MEDIA, SCARD_W_UNRESPONSIVE_CARD},
      {ERROR_DEVICE_REMOVED, SCARD_E_READER_UNAVAILABLE},
      {ERROR_DEVICE_NOT_CONNECTED, SCARD_E_READER_UNAVAILABLE},
      {ERROR_INVALID_HANDLE, SCARD_E_READER_UNAVAILABLE},
      {ERROR_OPERATION_ABORTED, SCARD_E_CANCELLED},
      {WAIT_TIMEOUT, SCARD_E_TIMEOUT},
      {ERROR_INSUFFICIENT_BUFFER, SCARD_E_INSUFFICIENT_BUFFER},
      // The driver's own refusals reach the caller as they are.
      {ERROR_INVALID_PARAMETER, static_cast<LONG>(ERROR_INVALID_PARAMETER)},
      {ERROR_NOT_SUPPORTED, static_cast<LONG>(ERROR_NOT_SUPPORTED)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScardResult(c.win32), c.scard) << c.win32;
  }
}

}  // namespace
}  // namespace qvx::testing::scard
