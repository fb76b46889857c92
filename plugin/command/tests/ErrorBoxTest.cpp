// The error box of a failed command: shown only when the page switched it on.
// The box is the system's; the Linux layer lets the test see it.
#include <string>
#include <utility>
#include <vector>

#include "PluginTestSupport.h"
#include "platform/System.h"

namespace qvx::testing {
namespace {

std::vector<std::pair<std::string, std::string>> g_boxes;

TEST_F(PluginCommand, ErrorBoxOnlyWhenSwitchedOn) {
  const auto previous =
      platform::SetMessageBoxSink([](const std::string& text, const std::string& caption) {
        g_boxes.emplace_back(text, caption);
      });
  script.answers[ControlIndex::CheckDevice] = {};
  qvx::brixon::CQuorvex2 quorvex2 = Make();
  quorvex2.CheckConnection();
  EXPECT_TRUE(g_boxes.empty());
  quorvex2.SetErrorBox(true);
  quorvex2.CheckConnection();
  platform::SetMessageBoxSink(previous);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].second, "Meridel Quorvex2 error");
  EXPECT_EQ(g_boxes[0].first.rfind("Nothing returned by Quorvex2.", 0), 0u);
}

}  // namespace
}  // namespace qvx::testing
