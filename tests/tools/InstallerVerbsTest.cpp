// The verbs for the installer's machine (file, media, cpu, mutex) and the installer scenario.
#include <gtest/gtest.h>

#include "ScenarioTesting.h"
#include "platform/win32.h"
#include "winsim/FileSystem.h"

namespace {

using Records = std::vector<winsim::Trace::Record>;

TEST(InstallerVerbs, SetUpFilesMediaTheEngineAndAHeldMutex) {
  winsim::World world;
  scenario::register_programs(world);
  scenario_test::play(
      world,
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

// Install, Update with the resource carried over, Remove with one file held open.
TEST(InstallerScenario, InstallsUpdatesAndRemovesTheSuite) {
  winsim::World world;
  scenario::register_programs(world);
  scenario_test::play(world,
                      scenario_test::file_text(NORVANE_SOURCE_DIR "/scenarios/installer.scn"));
  // The three runs of the installer, and the suite service program's.
  EXPECT_EQ(world.trace().select("process.exit", {"t", "code"}),
            (Records{{{"t", 0}, {"code", 0}},
                     {{"t", 1000}, {"code", 0}},
                     {{"t", 120000}, {"code", 0}},
                     {{"t", 125000}, {"code", 0}},
                     {{"t", 180000}, {"code", 0}},
                     {{"t", 184000}, {"code", 0}},
                     {{"t", 184000}, {"code", 0}}}));
  EXPECT_EQ(world.trace().select("file.reboot_delete", {"t", "path"}),
            (Records{{{"t", 184000}, {"path", "C:\\Program Files\\Pellam\\QORA\\Hesper.chm"}}}));
  EXPECT_EQ(world.files().reboot_deletes(),
            std::vector<std::string>{"C:\\Program Files\\Pellam\\QORA\\Hesper.chm"});
}

}  // namespace
