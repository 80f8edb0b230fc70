// The verbs of the encryption suite and of the system's version, and the logon of
// scenarios/shellbeacon.scn played as simrun plays it.
#include <gtest/gtest.h>

#include "ScenarioTesting.h"

namespace shellbeacon_scenario_test {
namespace {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

constexpr const char *kRunShellBeacon =
    "0 run \"C:\\Program Files\\Pellam\\QORA\\ShellBeacon.exe\"\n";

// Plays the text with every program of the simulator; the trace's exit record {t, code}.
Record ExitOf(winsim::World &world, const std::string &text) {
  scenario::register_programs(world);
  scenario_test::play(world, text);
  auto exits = world.trace().select("process.exit", {"t", "code"});
  return exits.empty() ? Record() : exits.back();
}

TEST(ShellBeaconScenario, TheLogonAnnouncesBothVolumesAndWaitsOnceForTheFreshlyHungWindow) {
  winsim::World world;
  EXPECT_EQ(
      ExitOf(world, scenario_test::file_text(NORVANE_SOURCE_DIR "/scenarios/shellbeacon.scn")),
      (Record{{"t", 131100}, {"code", 0}}));
  EXPECT_EQ(world.trace().select("broadcast", {"t", "unitmask", "timeout"}),
            (Records{{{"t", 10000}, {"unitmask", 0x10}, {"timeout", 100}},
                     {{"t", 44000}, {"unitmask", 0x80}, {"timeout", 100}}}));
  EXPECT_EQ(world.trace().select("window.message", {"t", "class"}),
            (Records{{{"t", 10000}, {"class", "Notepad"}},
                     {{"t", 10000}, {"class", "Shell_TrayWnd"}},
                     {{"t", 44100}, {"class", "Notepad"}},
                     {{"t", 44100}, {"class", "Shell_TrayWnd"}}}));
}

// The suite's and the system's verbs reach the program: a version before 6 broadcasts twice, a
// removed volume is not announced, a list that fails ends the watch, a library that does not
// start ends it at once.
TEST(SuiteAndSystemVerbs, SetUpWhatShellBeaconFinds) {
  {
    winsim::World world;
    EXPECT_EQ(ExitOf(world,
                     "0 os version 5.2\n0 kelpie volume 4 1 0\n0 kelpie volume 5 1 0\n"
                     "0 kelpie remove 5\n" +
                         std::string(kRunShellBeacon) + "19.5s kelpie list fail\n200s end\n"),
              (Record{{"t", 20000}, {"code", 0xFFFFFFFF}}));
    EXPECT_EQ(world.trace().select("broadcast", {"t", "unitmask"}),
              (Records{{{"t", 10000}, {"unitmask", 0x10}}, {{"t", 10000}, {"unitmask", 0x10}}}));
  }
  winsim::World failing;
  EXPECT_EQ(ExitOf(failing, "0 kelpie init fail\n" + std::string(kRunShellBeacon) + "1s end\n"),
            (Record{{"t", 0}, {"code", 0xFFFFFFFF}}));
}

}  // namespace
}  // namespace shellbeacon_scenario_test
