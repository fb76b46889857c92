#include <gtest/gtest.h>

#include "app/Options.h"
#include "control/ControlCommand.h"

namespace qvx::sim {
namespace {

using Kind = ControlCommand::Kind;

TEST(ControlParserTest, AcceptedLines) {
  struct Case {
    const char* line;
    Kind kind;
  };
  const Case cases[] = {
      {"insert", Kind::Insert},
      {"  REMOVE ", Kind::Remove},
      {"unplug", Kind::Unplug},
      {"plug", Kind::Plug},
      {"display", Kind::Display},
      {"trace", Kind::Trace},
      {"trace clear", Kind::TraceClear},
      {"timing", Kind::Timing},
      {"Timing CLEAR", Kind::TimingClear},
      {"state", Kind::State},
      {"help", Kind::Help},
      {"firmware 02.00", Kind::Firmware},
      {"timeout 1500", Kind::Timeout},
      {"inject rc6", Kind::Inject},
      {"malformed", Kind::Inject},
      {"press ok", Kind::Press},
      {"customer never", Kind::Customer},
  };
  for (const Case& c : cases) {
    const ParsedControl parsed = ParseControl(c.line);
    ASSERT_TRUE(parsed.command) << c.line << ": " << parsed.error;
    EXPECT_EQ(parsed.command->kind, c.kind) << c.line;
  }
}

TEST(ControlParserTest, RejectedLines) {
  const char* lines[] = {
      "",
      "fly",
      "insert now",
      "press 10",
      "press okay",
      "customer approve -5",
      "customer approve 3600001",
      "customer never 100",
      "customer maybe",
      "timeout 0",
      "timeout",
      "inject rc7",
      "inject rc8",
      "inject rc8 256",
      "inject rc8 0x100",
      "inject rc8 12a",
      "malformed count9",
      "card 54127512345678901 01",
      "card 5412 0G",
      "card 5412",
      "card 5412 01 key 0011",
      "card 5412 01 frozen",
      "firmware",
      "firmware 01.20 extra",
      "firmware 12345678901234567",
      "trace all",
      "timing now",
  };
  for (const char* line : lines) {
    const ParsedControl parsed = ParseControl(line);
    EXPECT_FALSE(parsed.command) << "'" << line << "'";
    EXPECT_FALSE(parsed.error.empty()) << line;
  }
}

TEST(ControlParserTest, Arguments) {
  ParsedControl parsed =
      ParseControl("card 4000001234567899 02 key 0f0e0d0c0b0a09080706050403020100 pinblocked");
  ASSERT_TRUE(parsed.command);
  const Card& card = parsed.command->card;
  EXPECT_EQ(card.pan, (Bytes{0x40, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x99}));
  EXPECT_EQ(card.psn, (Bytes{0x02}));
  EXPECT_EQ(card.key[0], 0x0F);
  EXPECT_EQ(card.key[15], 0x00);
  EXPECT_TRUE(card.pinBlocked);
  EXPECT_FALSE(card.blocked);

  parsed = ParseControl("card 5412 01 blocked unsupported");
  ASSERT_TRUE(parsed.command);
  EXPECT_TRUE(parsed.command->card.blocked && parsed.command->card.unsupported);
  EXPECT_EQ(parsed.command->card.key, DefaultCardKey());

  parsed = ParseControl("press 7");
  ASSERT_TRUE(parsed.command);
  EXPECT_EQ(parsed.command->key.kind, KeyPress::Kind::Digit);
  EXPECT_EQ(parsed.command->key.digit, '7');

  parsed = ParseControl("customer cancel 50");
  ASSERT_TRUE(parsed.command);
  EXPECT_EQ(parsed.command->customer.kind, CustomerScript::Kind::Cancel);
  EXPECT_EQ(parsed.command->customer.delay, Millis{50});
  EXPECT_EQ(ParseControl("customer approve").command->customer.delay, Millis{200});

  parsed = ParseControl("inject rc8 0x82");
  ASSERT_TRUE(parsed.command);
  EXPECT_EQ(parsed.command->injection.kind, Injection::Kind::Rc8);
  EXPECT_EQ(parsed.command->injection.errorByte, 130);
  EXPECT_EQ(ParseControl("inject rc8 255").command->injection.errorByte, 255);

  EXPECT_EQ(ParseControl("malformed").command->injection.malformed, Malformed::Count7);
  EXPECT_EQ(ParseControl("malformed len257").command->injection.malformed, Malformed::Length257);
  EXPECT_EQ(ParseControl("firmware 02.00").command->version, "02.00");
}

TEST(CommandLineTest, ServeAndControlModes) {
  ParsedCommandLine parsed = ParseCommandLine(
      {"--socket", "/tmp/x/dev", "--control", "/tmp/x/ctl", "--paced", "--firmware", "01.30",
       "--customer", "cancel:40", "--customer-timeout", "900", "--no-card"});
  ASSERT_TRUE(parsed.commandLine) << parsed.error;
  const SimulatorOptions& serve = parsed.commandLine->serve;
  EXPECT_EQ(serve.socketPath, "/tmp/x/dev");
  EXPECT_EQ(serve.controlPath, "/tmp/x/ctl");
  EXPECT_TRUE(serve.paced);
  EXPECT_EQ(serve.firmware.version, "01.30");
  EXPECT_EQ(serve.firmware.customer.kind, CustomerScript::Kind::Cancel);
  EXPECT_EQ(serve.firmware.customer.delay, Millis{40});
  EXPECT_EQ(serve.firmware.customerTimeout, Millis{900});
  EXPECT_FALSE(serve.firmware.cardInserted);

  parsed = ParseCommandLine({"ctl", "/tmp/x/ctl", "inject", "rc8", "36"});
  ASSERT_TRUE(parsed.commandLine);
  EXPECT_EQ(parsed.commandLine->mode, CommandLine::Mode::Control);
  EXPECT_EQ(parsed.commandLine->controlLine, "inject rc8 36");

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{},
                                             {"--paced"},
                                             {"--socket"},
                                             {"--socket", "a", "--customer", "later"},
                                             {"--socket", "a", "--bogus"},
                                             {"ctl", "/tmp/x/ctl"},
                                             {"--socket", "a", "--customer-timeout", "0"}})
    EXPECT_FALSE(ParseCommandLine(bad).commandLine) << (bad.empty() ? "(none)" : bad.back());
}

}  // namespace
}  // namespace qvx::sim
