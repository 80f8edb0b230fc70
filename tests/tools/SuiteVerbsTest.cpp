// The verbs that set up what the suite's programs find: the installer's machine (file, media,
// cpu, mutex), the suite service program's stand-in Yarrow.exe as the suite verbs set it (its
// " -install" and " -remove" runs, its start and stop), the encryption suite's volumes and the
// system's version (kelpie, os); and the logon of scenarios/shellbeacon.scn played as simrun
// plays it.
#include <gtest/gtest.h>

#include "ScenarioTesting.h"
#include "platform/win32.h"
#include "winsim/Desktop.h"
#include "winsim/FileSystem.h"

namespace {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

void PlayWithPrograms(winsim::World &world, const std::string &text) {
  scenario::register_programs(world);
  scenario_test::play(world, text);
}

TEST(InstallerVerbs, SetUpFilesMediaTheEngineAndAHeldMutex) {
  winsim::World world;
  PlayWithPrograms(world,
                   "0 file \"C:\\Data\\a b.txt\" text \"two words\"\n0 file C:\\Data\\held busy\n"
                   "0 media D:\\Setup without ap\\x64\\palmo.dll without truecrypt.sys\n"
                   "0 cpu sentrel disabled\n0 mutex \"Global\\FALKUtility_Running_Mutex\"\n"
                   "1s end\n");
  const winsim::FileNode *text = world.files().find("C:\\Data\\a b.txt");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text->data.begin(), text->data.end()), "two words");
  EXPECT_TRUE(world.files().find("C:\\Data\\held")->busy);
  EXPECT_EQ(world.files().find("D:\\Setup\\AP\\X64\\Yarrow.exe")->program, "Yarrow.exe");
  EXPECT_EQ(world.files().find("D:\\Setup\\QORASetup-legacy.exe")->program, "QORASetup-legacy.exe");
  EXPECT_TRUE(world.files().exists("D:\\Setup\\Driver\\truecrypt.sys"));
  EXPECT_FALSE(world.files().exists("D:\\Setup\\truecrypt.sys"));
  EXPECT_FALSE(world.files().exists("D:\\Setup\\AP\\X64\\Palmo.dll"));
  EXPECT_EQ(world.sentrel(), winsim::SentrelEngine::Disabled);
  HANDLE marker = CreateMutexW(nullptr, FALSE, u"Global\\FALKUtility_Running_Mutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(marker);
}

constexpr const char *kRun = "run \"C:\\Program Files\\Pellam\\QORA\\Yarrow.exe\"";

TEST(SuiteVerbs, TheServiceInstallsStartsAndStopsWithItsPendingPhasesAndIsRemoved) {
  winsim::World world;
  PlayWithPrograms(world, std::string("0 suite start-pending 2\n0 suite wait-hint 5000\n0 ") +
                              kRun + " -install\n1s sc start QORAService\n" +
                              "5s suite stop-pending 2\n5s suite stop-dialog 1\n" +
                              "5s sc stop QORAService\n10s " + kRun + " -remove\n11s end\n");
  EXPECT_EQ(world.trace().select("svc.create", {"t", "service", "type", "start", "path"}),
            (Records{{{"t", 0},
                      {"service", "QORAService"},
                      {"type", 0x10},
                      {"start", 3},
                      {"path", "\"C:\\Program Files\\Pellam\\QORA\\Yarrow.exe\""}}}));
  EXPECT_EQ(
      world.trace().select("svc.status", {"t", "state", "checkpoint", "waitHint", "controls"}),
      (Records{{{"t", 1000}, {"state", 2}, {"checkpoint", 1}, {"waitHint", 5000}, {"controls", 0}},
               {{"t", 2000}, {"state", 2}, {"checkpoint", 2}, {"waitHint", 5000}, {"controls", 0}},
               {{"t", 3000}, {"state", 4}, {"checkpoint", 0}, {"waitHint", 0}, {"controls", 5}},
               {{"t", 5000}, {"state", 3}, {"checkpoint", 1}, {"waitHint", 5000}, {"controls", 0}},
               {{"t", 6000}, {"state", 3}, {"checkpoint", 2}, {"waitHint", 5000}, {"controls", 0}},
               {{"t", 7000}, {"state", 1}, {"checkpoint", 0}, {"waitHint", 0}, {"controls", 0}}}));
  // The dialog went with the service's process.
  EXPECT_EQ(world.trace().select("window.close", {"t", "class", "title"}),
            (Records{{{"t", 7000}, {"class", "#32770"}, {"title", "Microsoft Windows"}}}));
  EXPECT_EQ(world.trace().select("svc.delete", {"t", "service"}),
            (Records{{{"t", 10000}, {"service", "QORAService"}}}));
  EXPECT_EQ(
      world.trace().select("process.exit", {"t", "code"}),
      (Records{{{"t", 0}, {"code", 0}}, {{"t", 7000}, {"code", 0}}, {{"t", 10000}, {"code", 0}}}));
}

TEST(SuiteVerbs, AFailingInstallRegistersNothingAndARefusedStopKeepsTheServiceRunning) {
  winsim::World world;
  PlayWithPrograms(world, std::string("0 suite install-exit 13\n0 ") + kRun +
                              " -install\n1s suite install-exit 0\n1s " + kRun +
                              " -install\n2s suite stop-refuse 1051\n2s sc start QORAService\n" +
                              "3s sc stop QORAService\n4s end\n");
  EXPECT_EQ(world.trace().select("process.exit", {"t", "code"}),
            (Records{{{"t", 0}, {"code", 13}}, {{"t", 1000}, {"code", 0}}}));
  EXPECT_EQ(world.trace().select("svc.create", {"t"}), (Records{{{"t", 1000}}}));
  EXPECT_EQ(world.trace().select("svc.control", {"t", "control", "result"}),
            (Records{{{"t", 3000}, {"control", 1}, {"result", 1051}}}));
}

constexpr const char *kRunShellBeacon =
    "0 run \"C:\\Program Files\\Pellam\\QORA\\ShellBeacon.exe\"\n";

// The last exit record {t, code} of playing the text with every program of the simulator.
Record ExitOf(winsim::World &world, const std::string &text) {
  PlayWithPrograms(world, text);
  auto exits = world.trace().select("process.exit", {"t", "code"});
  return exits.empty() ? Record() : exits.back();
}

TEST(ShellBeaconScenario, TheLogonAnnouncesBothVolumesAndWaitsOnceForTheFreshlyHungWindow) {
  winsim::World world;
  EXPECT_EQ(
      ExitOf(world, scenario_test::file_text(NORVANE_SOURCE_DIR "/scenarios/shellbeacon.scn")),
      (Record{{"t", 131100}, {"code", 0}}));
  // The broadcast for H: at 44 s waits its time-out for the backup tool's window.
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
