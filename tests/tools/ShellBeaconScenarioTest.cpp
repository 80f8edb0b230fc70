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

struct VerbCase {
  const char *name;
  std::string lines;  // before the run line
  std::string later;  // after it
  Record exit;
  std::size_t broadcasts;
};

class SuiteAndSystemVerbs : public ::testing::TestWithParam<VerbCase> {};

TEST_P(SuiteAndSystemVerbs, SetUpWhatShellBeaconFinds) {
  const VerbCase &c = GetParam();
  winsim::World world;
  EXPECT_EQ(ExitOf(world, c.lines + kRunShellBeacon + c.later + "200s end\n"), c.exit);
  EXPECT_EQ(world.trace().of_kind("broadcast").size(), c.broadcasts);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SuiteAndSystemVerbs,
    ::testing::Values(
        VerbCase{"InitFails", "0 kelpie init fail\n", "", {{"t", 0}, {"code", 0xFFFFFFFF}}, 0},
        VerbCase{"ListFailsAt20s",
                 "0 kelpie volume 4 1 0\n",
                 "19.5s kelpie list fail\n",
                 {{"t", 20000}, {"code", 0xFFFFFFFF}},
                 1},
        VerbCase{"VolumeRemoved",
                 "0 kelpie volume 4 1 0\n0 kelpie volume 5 1 0\n0 kelpie remove 5\n",
                 "",
                 {{"t", 130000}, {"code", 0}},
                 1},
        VerbCase{"Version5",
                 "0 os version 5.2\n0 kelpie volume 4 1 0\n",
                 "",
                 {{"t", 130000}, {"code", 0}},
                 2}),
    [](const ::testing::TestParamInfo<VerbCase> &test) { return test.param.name; });

}  // namespace
}  // namespace shellbeacon_scenario_test
