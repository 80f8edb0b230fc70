// Every exit code of QORASetup.exe from a real cause, and Install on media and machines that
// differ, with the exact console output of the run ("Debug" on unless the row says otherwise).
#include "SetupWorld.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"

namespace installer_test {
namespace {

constexpr const char *kRunningMarker = "Global\\FALKUtility_Running_Mutex";
constexpr const char *kDiskClass =
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";

struct ExitCase {
  const char *name;
  void (*prepare)(SetupWorld &);  // or null
  const char *arguments;
  std::string output;
  DWORD code;
  winsim::Fault fault = {};  // none without a call name
};

class SetupExitCode : public SetupWorld, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(SetupExitCode, FromItsCause) {
  const ExitCase &c = GetParam();
  LayOutMedia();
  if (c.prepare) c.prepare(*this);
  if (!c.fault.call.empty()) world.faults().add(c.fault);
  std::uint32_t pid = RunSetup(c.arguments);
  EXPECT_EQ(world.console(pid), c.output);
  EXPECT_EQ(world.exit_code(pid), c.code);
}

void EngineAbsent(SetupWorld &w) {
  w.world.set_sentrel(winsim::SentrelEngine::Absent);
}
void Predecessor(SetupWorld &w) {
  w.world.registry().set_multi_string(kDiskClass, "LowerFilters", {"tillgate", "PartMgr"});
}
void MarkerHeld(SetupWorld &w) {
  w.world.hold_named_mutex(kRunningMarker);
}
void MarkerHeldEngineAbsent(SetupWorld &w) {
  MarkerHeld(w);
  EngineAbsent(w);
}
void MarkerHeldPredecessor(SetupWorld &w) {
  MarkerHeld(w);
  Predecessor(w);
}
void FoldersPresent(SetupWorld &w) {
  w.world.files().add_directory(kInstallFolder);
}
void WithoutTheUserGuide(SetupWorld &w) {
  w.world.files().remove(std::string(kMedia) + "\\AP\\Language\\Hesper.chm");
}
void WithoutTheDriver(SetupWorld &w) {
  w.world.files().remove(std::string(kMedia) + "\\truecrypt.sys");
}
// Install's output when the driver's copy from `folder` fails with `error`.
std::string DriverCopyFailed(const std::string &folder, const char *error) {
  return kNoService + SetupWorld::CopyLines(1, 16) + "\ncopy " + folder +
         "\\truecrypt.sys to C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys...\t---Error=" +
         error + kInstallFailed + "ExitCode = 11\n";
}

void StopRefused(SetupWorld &w) {
  w.world.place_program(kYarrowPath, "Yarrow.exe");
  w.RegisterSuite();
  w.StartSuiteFromHost();
  w.Suite().stop_refuse = ERROR_DEPENDENT_SERVICES_RUNNING;
}

INSTANTIATE_TEST_SUITE_P(
    Table, SetupExitCode,
    ::testing::Values(
        ExitCase{"FoldersPresent", FoldersPresent, "Install bWinXP \"\\Driver\" Debug",
                 kNoService +
                     std::string("Create Direcotry [\\Program Files\\Pellam] failed, "
                                 "error=0x000000B7Create Direcotry [\\Program Files\\Pellam\\QORA] "
                                 "failed, error=0x000000B7") +
                     SetupWorld::CopyLines(1, 16) + DriverLine() + kStarted + "ExitCode = 0\n",
                 0},
        ExitCase{"WithoutTheUserGuide", WithoutTheUserGuide, "Install bWinXP \"\\Driver\" Debug",
                 kNoService + SetupWorld::CopyLines(1, 6) +
                     "\ncopy C:\\Media\\AP\\Language\\Hesper.chm to C:\\Program "
                     "Files\\Pellam\\QORA\\Hesper.chm...\t---Error=0x00000002" +
                     SetupWorld::CopyLines(8, 16) + DriverLine() + kStarted + "ExitCode = 0\n",
                 0},
        ExitCase{"EmptyDriverPath", nullptr, "Install bWinXP \"\" Debug",
                 kNoService + SetupWorld::CopyLines(1, 16) + DriverLine(kMedia) + kStarted +
                     "ExitCode = 0\n",
                 0},
        ExitCase{"DriverPathWithoutBackslash", nullptr, "Install bWinXP \"Driver\" Debug",
                 DriverCopyFailed("C:\\MediaDriver", "0x00000003"), 11},
        ExitCase{"WithoutTheDriver", WithoutTheDriver, "Install bWinXP \"\" Debug",
                 DriverCopyFailed(kMedia, "0x00000002"), 11},
        ExitCase{"TwoArgumentsEvenWithRemove", nullptr, "Remove bWinXP", kUsage, 6},
        ExitCase{"LowerCaseInstall", nullptr, "install bWinXP \\Driver Debug", kUsage, 6},
        ExitCase{"InstallWithABlank", nullptr, "\"Install \" bWinXP \\Driver Debug", kUsage, 6},
        ExitCase{"LowerCaseDebugIsQuiet", nullptr, "Install nWinXP \\Driver debug", "", 0},
        ExitCase{"EngineAbsent", EngineAbsent, "Install bWinXP \\Driver Debug",
                 "Sentrel does not exist. Installation stopped.\nExitCode = 2\n", 2},
        ExitCase{"EngineDisabled",
                 [](SetupWorld &w) { w.world.set_sentrel(winsim::SentrelEngine::Disabled); },
                 "Install bWinXP \\Driver Debug",
                 "Sentrel does not exist. Installation stopped.\nExitCode = 2\n", 2},
        ExitCase{"Predecessor", Predecessor, "Install bWinXP \\Driver Debug",
                 "Old Version of PLIX exist. Installation stopped.\nExitCode = 4\n", 4},
        ExitCase{"MarkerHeldInstall", MarkerHeld, "Install bWinXP \\Driver Debug",
                 "QORA is still running. Installation stopped.\nExitCode = 5\n", 5},
        ExitCase{"MarkerHeldEngineFirst", MarkerHeldEngineAbsent, "Install bWinXP \\Driver Debug",
                 "Sentrel does not exist. Installation stopped.\nExitCode = 2\n", 2},
        ExitCase{"MarkerHeldPredecessorFirst", MarkerHeldPredecessor,
                 "Install bWinXP \\Driver Debug",
                 "Old Version of PLIX exist. Installation stopped.\nExitCode = 4\n", 4},
        ExitCase{"MarkerHeldRemove", MarkerHeld, "Remove bWinXP \\Driver Debug",
                 "QORA is still running. Installation stopped.\nExitCode = 5\n", 5},
        ExitCase{"MarkerHeldUpdate", MarkerHeld, "Update bWinXP \\Driver Debug",
                 "QORA is still running. Installation stopped.\nExitCode = 5\n", 5},
        ExitCase{"PredecessorLeavesUpdateAlone", Predecessor, "Update bWinXP \\Driver", "", 8},
        ExitCase{"StopRefused", StopRefused, "Install bWinXP \\Driver Debug",
                 "Service stop failed\nExitCode = 7\n", 7},
        ExitCase{"StopRefusedRemove", StopRefused, "Remove bWinXP \\Driver Debug",
                 "Service stop failed\nExitCode = 7\n", 7},
        ExitCase{"StartRefused", nullptr, "Install bWinXP \\Driver Debug",
                 kNoService + SetupWorld::CopyLines(1, 16) + DriverLine() +
                     "StartService failed (5)\nService start failed\nExitCode = 8\n",
                 8, Failing("StartServiceW", 5)},
        ExitCase{"NoWindowsFolderInstall", nullptr, "Install bWinXP \\Driver Debug",
                 kNoService + kInstallFailed + "ExitCode = 9\n", 9,
                 Failing("GetWindowsDirectoryW", 87)},
        ExitCase{"NoWindowsFolderRemove", nullptr, "Remove bWinXP \\Driver Debug",
                 std::string(kNoService) + "get windows directory fail\nExitCode = 9\n", 9,
                 Failing("GetWindowsDirectoryW", 87)},
        ExitCase{"NoBackslashInTheInstallersPath", nullptr, "Install bWinXP \\Driver Debug",
                 kNoService + kInstallFailed + "ExitCode = 10\n", 10,
                 Failing("GetModuleFileNameW", 122)},
        ExitCase{"NoTemporaryFolder", nullptr, "Update bWinXP \\Driver Debug",
                 std::string(kNoService) +
                     "create temporary directory failed,err=0x00000003\nExitCode = 12\n",
                 12, Failing("CreateDirectoryW", 3, 1, "QORATmp")},
        ExitCase{"SuiteInstallFails", [](SetupWorld &w) { w.Suite().install_exit = 13; },
                 "Install bWinXP \\Driver Debug",
                 kNoService + SetupWorld::CopyLines(1, 16) + kInstallFailed + "ExitCode = 13\n",
                 13},
        ExitCase{"VersionNotWritten", nullptr, "Install bWinXP \\Driver Debug",
                 InstallOutput() + "ExitCode = 15\n", 15,
                 Failing("RegSetValueExW", 5, 1, "Software\\QORA")},
        ExitCase{"SuiteKeyNotOpened", nullptr, "Remove bWinXP \\Driver", "", 17,
                 Failing("RegCreateKeyExW", 5, 1, "Software\\QORA")},
        ExitCase{"ParentFolderNotCreated", nullptr, "Install bWinXP \\Driver Debug",
                 kNoService +
                     std::string("Create Direcotry [\\Program Files\\Pellam] failed, "
                                 "error=0x00000003") +
                     kInstallFailed + "ExitCode = 18\n",
                 18, Failing("CreateDirectoryW", 3, 1, "Pellam")}),
    [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace installer_test
