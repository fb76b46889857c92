// The reader name pcscd lists, rebuilt in the driver from the friendly
// name, the device's strings and the reader index, and the bundle that
// gives pcscd the friendly name.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "reader/PcscdReaderName.h"
#include "transport/SocketLowerEdge.h"

namespace qvx::driver {
namespace {

TEST(ReaderNameTest, ListedNameFromTheDeviceStrings) {
  struct Case {
    const char* what;
    std::optional<std::string> interfaceName;
    std::optional<std::string> serialNumber;
    std::uint32_t readerIndex;
    const char* listed;
  };
  const Case cases[] = {
      {"neither string", {}, {}, 0, "Meridel Quorvex2_Reader 00 00"},
      {"second reader", {}, {}, 1, "Meridel Quorvex2_Reader 01 00"},
      {"index in hex", {}, {}, 0x1A, "Meridel Quorvex2_Reader 1A 00"},
      {"serial only", {}, "QV2-000417", 0, "Meridel Quorvex2_Reader (QV2-000417) 00 00"},
      {"serial, second reader", {}, "QV2-000417", 1, "Meridel Quorvex2_Reader (QV2-000417) 01 00"},
      {"interface only", "Keypad", {}, 0, "Meridel Quorvex2_Reader [Keypad] 00 00"},
      {"interface, then serial", "Keypad", "QV2-000417", 0,
       "Meridel Quorvex2_Reader [Keypad] (QV2-000417) 00 00"},
      {"serial inside the interface string", "Keypad QV2-000417", "QV2-000417", 1,
       "Meridel Quorvex2_Reader [Keypad QV2-000417] 01 00"},
      {"serial only partly in the interface string", "QV2-0004", "QV2-000417", 0,
       "Meridel Quorvex2_Reader [QV2-0004] (QV2-000417) 00 00"},
      // pcscd 1.9.9 does not look for the interface string in the name.
      {"interface string inside the friendly name",
       "Quorvex2_Reader",
       {},
       0,
       "Meridel Quorvex2_Reader [Quorvex2_Reader] 00 00"},
      {"empty strings are no strings", "", "", 0, "Meridel Quorvex2_Reader 00 00"},
      // UTF-8 "Clé": pcscd makes each non-ASCII byte of the interface a dot.
      {"non-ASCII interface", "Cl\xC3\xA9", "\xC3\xA9-1", 0,
       "Meridel Quorvex2_Reader [Cl..] (\xC3\xA9-1) 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ListedReaderName({c.interfaceName, c.serialNumber}, c.readerIndex), c.listed);
  }
}

TEST(ReaderNameTest, ExtensionGoesBeforeTheIndex) {
  EXPECT_EQ(ListedReaderName({{}, "S1"}, 0, " lab"), "Meridel Quorvex2_Reader (S1) lab 00 00");
  EXPECT_EQ(CancelEventName(ListedReaderName({{}, "S1"}, 1)),
            "Global\\Meridel Quorvex2_Reader (S1) 01 00_cancel_event");
}

// pcscd takes the friendly name and the ids from the bundle; the driver
// must name its events from the same friendly name.
TEST(ReaderNameTest, BundleCarriesTheFriendlyNameAndTheIds) {
  std::ifstream file(QVXRDR_INFO_PLIST);
  ASSERT_TRUE(file) << QVXRDR_INFO_PLIST;
  std::stringstream text;
  text << file.rdbuf();
  const std::string plist = text.str();
  const auto firstOfArray = [&plist](const std::string& key) {
    const std::regex pattern("<key>" + key + "</key>\\s*<array>\\s*<string>([^<]*)</string>");
    std::smatch match;
    return std::regex_search(plist, match, pattern) ? match[1].str() : std::string("(missing)");
  };
  EXPECT_EQ(firstOfArray("ifdFriendlyName"), kFriendlyName);
  EXPECT_EQ(std::stoul(firstOfArray("ifdVendorID"), nullptr, 16), kTestVendorId);
  EXPECT_EQ(std::stoul(firstOfArray("ifdProductID"), nullptr, 16), kTestProductId);
}

}  // namespace
}  // namespace qvx::driver
