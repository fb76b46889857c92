#include "command/Report.h"

#include <gtest/gtest.h>

#include <string>

#include "ReportLineStamp.h"
#include "platform/System.h"

namespace qvx {
namespace {

TEST(ReportTest, FormatsItsMessage) {
  const CReport report(kStatusInputError, LEVEL_ERROR, "CQuorvex2::CheckFormatAmount()",
                       "Invalid input: %s has %d digits, first %.2x, 100%%", "amount", 13, 0xA);
  EXPECT_EQ(report.GetStatus(), kStatusInputError);
  EXPECT_EQ(report.GetLevel(), LEVEL_ERROR);
  EXPECT_EQ(report.GetSource(), "CQuorvex2::CheckFormatAmount()");
  EXPECT_EQ(report.Message(), "Invalid input: amount has 13 digits, first 0a, 100%");
}

TEST(ReportTest, MessageIsCutTo1024Characters) {
  const std::string exact(1024, 'e');
  std::string longer(2000, 'x');
  longer[1023] = 'L';
  longer[1024] = 'Z';
  const struct {
    const char* name;
    std::string message;
  } cases[] = {
      {"formatted", CReport(1, 1, "", "%s", longer.c_str()).Message()},
      {"formatted from pieces", CReport(1, 1, "", "%s%s", longer.c_str(), "tail").Message()},
      {"finished", CReport::WithMessage(1, 1, "", longer).Message()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.message, longer.substr(0, 1024)) << c.name;
  }
  EXPECT_EQ(CReport(0, 0, "", "%s", exact.c_str()).Message(), exact);
  // A finished message is not a format.
  EXPECT_EQ(CReport::WithMessage(0, 0, "", "50% %s").Message(), "50% %s");
}

TEST(ReportTest, LinePrefix) {
  const struct {
    unsigned long thread;
    int year, month, day, hour, minute, second, millisecond;
    const char* expected;
  } cases[] = {
      {4711, 2023, 5, 1, 9, 5, 7, 42, "0000004711:2023-05-01 09:05:07.042"},
      {0, 1999, 12, 31, 23, 59, 59, 999, "0000000000:1999-12-31 23:59:59.999"},
      {4294967295ul, 2024, 2, 29, 0, 0, 0, 0, "4294967295:2024-02-29 00:00:00.000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReportLinePrefix(c.thread, c.year, c.month, c.day, c.hour, c.minute, c.second,
                               c.millisecond),
              c.expected);
  }
}

TEST(ReportTest, RenderedLine) {
  const std::size_t prefixLength = kReportStampLength;
  char thread[16];
  std::snprintf(thread, sizeof thread, "%010lu", static_cast<unsigned long>(GetCurrentThreadId()));

  const struct {
    std::int32_t level;
    std::string source;
    std::string message;
    std::string expectedTail;
  } cases[] = {
      {LEVEL_INFO, "CQuorvex2::CheckCard() ==> ", "", " [INF]CQuorvex2::CheckCard() ==>  "},
      {LEVEL_ERROR, "CReader::Open() => SCardConnect() failed.", "msg",
       " [ERR]CReader::Open() => SCardConnect() failed. msg"},
      {LEVEL_DEBUG, "CReader::ExecuteSCardCMD()", "data 01 02",
       " [DBG]CReader::ExecuteSCardCMD() data 01 02"},
      {LEVEL_INFO, "", "[WSS] Serving on port: 9041", " [INF] [WSS] Serving on port: 9041"},
      // Unknown levels stand out as errors.
      {7, "X::Y()", "odd", " [ERR]X::Y() odd"},
      {-1, "", "odd", " [ERR] odd"},
  };
  for (const auto& c : cases) {
    const std::string line = CReport::WithMessage(0, c.level, c.source, c.message).Render();
    ASSERT_GT(line.size(), prefixLength) << line;
    EXPECT_TRUE(IsReportStamp(line.substr(0, prefixLength))) << line;
    EXPECT_EQ(line.substr(0, 10), thread);
    EXPECT_EQ(line.substr(prefixLength), c.expectedTail);
  }
}

}  // namespace
}  // namespace qvx
