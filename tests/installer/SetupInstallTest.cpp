// QORASetup.exe Install end to end in a simulated machine: the files copied from the media, the
// suite service program's own installation, the driver, and what the console shows.
#include "SetupWorld.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"

namespace installer_test {
namespace {

constexpr const char *kDriverKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\truecrypt";

using SetupInstall = SetupWorld;

TEST_F(SetupInstall, CopiesTheTableRegistersTheServiceAndTheDriverAndStartsTheService) {
  LayOutMedia();
  std::uint32_t pid = RunSetup("Install bWinXP \\Driver Debug");
  EXPECT_EQ(world.console(pid), InstallOutput() + "ExitCode = 0\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
  Records copies = TableCopies(1, 16);
  copies.push_back({{"from", "C:\\Media\\Driver\\truecrypt.sys"},
                    {"to", "C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys"},
                    {"error", 0}});
  EXPECT_EQ(Files("file.copy", {"from", "to", "error"}), copies);
  EXPECT_EQ(Files("dir.create", {"path", "error"}),
            (Records{{{"path", "C:\\Program Files\\Pellam"}, {"error", 0}},
                     {{"path", "C:\\Program Files\\Pellam\\QORA"}, {"error", 0}}}));
  // The installed service program registered its service, and runs as it.
  EXPECT_EQ(
      world.trace().select("process.start", {"image", "cmdline"})[1],
      (Record{{"image", "C:\\Program Files\\Pellam\\QORA\\Yarrow.exe"}, {"cmdline", " -install"}}));
  EXPECT_EQ(Files("svc.status", {"service", "state"}),
            (Records{{{"service", "QORAService"}, {"state", 4}}}));
  EXPECT_EQ(world.registry().value(kDriverKey, "ImagePath")->data.size(), 94u);
  EXPECT_EQ(world.registry().string("HKCU\\Software\\QORA", "Version"), "1.06.00");
}

// No rollback: the rows before the missing one stay copied, none after it is tried.
TEST_F(SetupInstall, AMissingRequiredRowStopsWith11AfterTheRowsBeforeIt) {
  LayOutMedia({"AP\\X64\\Palmo.dll"});
  std::uint32_t pid = RunSetup("Install bWinXP \\Driver");
  EXPECT_EQ(world.exit_code(pid), 11u);
  Records copies = TableCopies(1, 8);
  copies.push_back({{"from", "C:\\Media\\AP\\X64\\Palmo.dll"},
                    {"to", "C:\\Program Files\\Pellam\\QORA\\Palmo.dll"},
                    {"error", 2}});
  EXPECT_EQ(Files("file.copy", {"from", "to", "error"}), copies);
  EXPECT_TRUE(Installed("Kelpie.dll"));
  EXPECT_EQ(world.console(pid), "");
}

TEST_F(SetupInstall, TheLegacyVariantCopiesTheDriverSilentlyAndRegistersTheOldImagePath) {
  LayOutMedia();
  std::uint32_t pid = RunSetup("Install bWinXP \\Driver Debug", "QORASetup-legacy.exe");
  EXPECT_EQ(world.console(pid), kNoService + CopyLines(1, 16) + kStarted + "ExitCode = 0\n");
  EXPECT_TRUE(Installed("truecrypt-x64.sys"));
  EXPECT_EQ(world.registry().string(kDriverKey, "ImagePath"), "System32\\drivers\\truecrypt.sys");
}

// A composed path that would not fit MAX_PATH names no file: the copy fails with 206 without
// touching any file, through the row's own failure path.
TEST_F(SetupInstall, APathTooLongForMaxPathFailsItsCopyWith206) {
  const std::string deep = "C:\\" + std::string(240, 'm');
  world.place_program(deep + "\\QORASetup.exe", "QORASetup.exe");
  LayOutMedia();
  std::uint32_t pid = RunSetup("Install bWinXP \\Driver Debug", "QORASetup.exe", deep);
  std::string source = (deep + "\\AP\\X64\\mfc140chs.dll").substr(0, 259);
  EXPECT_EQ(world.console(pid),
            kNoService +
                ("\ncopy " + source +
                 " to C:\\Program Files\\Pellam\\QORA\\mfc140chs.dll...\t---Error=0x000000CE") +
                kInstallFailed + "ExitCode = 11\n");
  EXPECT_EQ(world.exit_code(pid), 11u);
  EXPECT_TRUE(Files("file.copy", {"from"}).empty());

  world.trace().clear();
  std::uint32_t long_driver = RunSetup("Install bWinXP \\" + std::string(250, 'd') + " Debug");
  EXPECT_EQ(world.exit_code(long_driver), 11u);
  EXPECT_EQ(Files("file.copy", {"error"}).size(), 16u);  // the table's rows, not the driver
}

// The suite service program's " -install" run gets 300 s; then it is ended and counts as failed.
TEST_F(SetupInstall, AnInstallRunThatNeverEndsIsTerminatedAfter300SecondsAndGives13) {
  LayOutMedia();
  Suite().switch_hang = true;
  std::uint32_t pid = RunSetup("Install bWinXP \\Driver");
  EXPECT_EQ(world.exit_code(pid), 13u);
  EXPECT_EQ(world.trace().select("process.exit", {"t", "code"}),
            (Records{{{"t", 300000}, {"code", ERROR_TIMEOUT}}, {{"t", 300000}, {"code", 13}}}));
}

}  // namespace
}  // namespace installer_test
