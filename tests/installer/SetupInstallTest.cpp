// QORASetup.exe Install end to end in a simulated machine: the files copied from the media, the
// suite service program's own installation, the driver, and what the console shows.
#include <map>

#include "../WorldSeed.h"
#include "InstallerWorld.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"

namespace installer_test {
namespace {

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
  EXPECT_EQ(world.registry().string(kRunKey, "qora_init"),
            std::string(kInstallFolder) + "\\ShellBeacon.exe");
  EXPECT_EQ(world.registry().string(kVersionKey, "Version"), "1.06.00");
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
  EXPECT_TRUE(world.files().exists(std::string(kInstallFolder) + "\\Kelpie.dll"));
  EXPECT_EQ(world.console(pid), "");
}

TEST_F(SetupInstall, TheLegacyVariantCopiesTheDriverSilentlyAndRegistersTheOldImagePath) {
  LayOutMedia();
  std::uint32_t pid = RunSetup("Install bWinXP \\Driver Debug", "QORASetup-legacy.exe");
  EXPECT_EQ(world.console(pid), kNoService + CopyLines(1, 16) + kStarted + "ExitCode = 0\n");
  EXPECT_TRUE(world.files().exists(std::string(kInstallFolder) + "\\truecrypt-x64.sys"));
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
}

struct SuiteRunCase {
  const char *name;
  const char *arguments;
  bool installed;  // the suite is installed and its service runs
  bool hang;       // the service program's " -install" and " -remove" runs never end
  std::vector<winsim::Fault> faults;
  Records exits;  // process.exit {t, image, code} of the processes of the run, in order
  DWORD code;
};

class ServiceProgramRun : public SetupWorld, public ::testing::WithParamInterface<SuiteRunCase> {};

// The service program's run is waited for 300 s. One that does not end by then, or cannot be
// waited for, is terminated and waited for before the installer goes on: it never runs on
// behind the installer's next step. It then counts as failed; so does one whose exit code
// cannot be read. A removal goes on after it whatever its outcome.
TEST_P(ServiceProgramRun, EndsBeforeTheInstallerGoesOn) {
  const SuiteRunCase &c = GetParam();
  LayOutMedia();
  if (c.installed) {
    ASSERT_EQ(world.exit_code(RunSetup("Install bWinXP \\Driver")), 0u);
    world.trace().clear();
  }
  Suite().switch_hang = c.hang;
  for (const winsim::Fault &fault : c.faults) world.faults().add(fault);
  const std::uint64_t start = world.now();
  std::uint32_t pid = RunSetup(c.arguments);
  EXPECT_EQ(world.exit_code(pid), c.code);
  std::map<std::uint32_t, std::string> images;
  for (const auto &r : world.trace().of_kind("process.start"))
    images[r["pid"]] = winsim::FileSystem::file_name(r["image"].get<std::string>());
  Records exits;  // of the processes this run started
  for (const auto &r : world.trace().of_kind("process.exit"))
    if (images.count(r["pid"]) != 0)
      exits.push_back({{"t", r["t"].get<std::uint64_t>() - start},
                       {"image", images[r["pid"]]},
                       {"code", r["code"]}});
  // With a seed, the started service may run before the installer's first look at it.
  Records expected = c.exits;
  if (world_seed::Seeded() && exits.size() == expected.size() && exits.back()["t"] == 0)
    expected.back()["t"] = 0;
  EXPECT_EQ(exits, expected);
}

Record Exited(std::uint64_t t, const char *image, DWORD code) {
  return {{"t", t}, {"image", image}, {"code", code}};
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ServiceProgramRun,
    ::testing::Values(
        SuiteRunCase("InstallEnds", "Install bWinXP \\Driver", false, false, {},
                     {Exited(0, "Yarrow.exe", 0), Exited(1000, "QORASetup.exe", 0)}, 0),
        SuiteRunCase(
            "InstallNeverEnds", "Install bWinXP \\Driver", false, true, {},
            {Exited(300000, "Yarrow.exe", ERROR_TIMEOUT), Exited(300000, "QORASetup.exe", 13)}, 13),
        SuiteRunCase("InstallNotWaitedFor", "Install bWinXP \\Driver", false, false,
                     {FailingIn("WaitForSingleObject", "RunSuiteProgram", ERROR_INVALID_HANDLE)},
                     {Exited(0, "Yarrow.exe", ERROR_TIMEOUT), Exited(0, "QORASetup.exe", 13)}, 13),
        SuiteRunCase("InstallExitCodeUnread", "Install bWinXP \\Driver", false, false,
                     {FailingIn("GetExitCodeProcess", "RunSuiteProgram", ERROR_ACCESS_DENIED)},
                     {Exited(0, "Yarrow.exe", 0), Exited(0, "QORASetup.exe", 13)}, 13),
        // Nothing more can be done about a run that refuses to end: the installer fails.
        SuiteRunCase("InstallNeverEndsNorTerminates", "Install bWinXP \\Driver", false, true,
                     {FailingIn("TerminateProcess", "RunSuiteProgram", ERROR_ACCESS_DENIED)},
                     {Exited(310000, "QORASetup.exe", 13)}, 13),
        SuiteRunCase("RemoveNotWaitedFor", "Remove bWinXP \\Driver", true, false,
                     {FailingIn("WaitForSingleObject", "RunSuiteProgram", ERROR_INVALID_HANDLE)},
                     {Exited(4000, "Yarrow.exe", ERROR_TIMEOUT), Exited(4000, "QORASetup.exe", 0)},
                     0)),
    [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace installer_test
