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
  EXPECT_EQ(world.trace().select("shell.notify", {"t", "path"}),
            (Records{{{"t", 10000}, {"path", "E:\\"}}, {{"t", 44000}, {"path", "H:\\"}}}));
}

// What each verb sets up, seen in how the program ends and how many arrivals it broadcast.
TEST(SuiteAndSystemVerbs, SetUpWhatShellBeaconFinds) {
  const struct {
    std::string lines;  // before the run line
    std::string later;  // after it
    std::int64_t exit_t, exit_code;
    std::size_t broadcasts;
  } cases[] = {
      {"0 kelpie init fail\n", "", 0, 0xFFFFFFFF, 0},
      {"0 kelpie volume 4 1 0\n", "19.5s kelpie list fail\n", 20000, 0xFFFFFFFF, 1},
      {"0 kelpie volume 4 1 0\n0 kelpie volume 5 1 0\n0 kelpie remove 5\n", "", 130000, 0, 1},
      {"0 os version 5.2\n0 kelpie volume 4 1 0\n", "", 130000, 0, 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.lines + c.later);
    winsim::World world;
    EXPECT_EQ(ExitOf(world, c.lines + kRunShellBeacon + c.later + "200s end\n"),
              (Record{{"t", c.exit_t}, {"code", c.exit_code}}));
    EXPECT_EQ(world.trace().of_kind("broadcast").size(), c.broadcasts);
  }
}

}  // namespace
}  // namespace shellbeacon_scenario_test
