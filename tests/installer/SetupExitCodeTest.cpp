// Every exit code of QORASetup.exe from a real cause, with the exact console output of the run
// ("Debug" on unless the row says otherwise).
#include "SetupWorld.h"
#include "winsim/Registry.h"

namespace installer_test {
namespace {

constexpr const char *kRunningMarker = "Global\\FALKUtility_Running_Mutex";
constexpr const char *kDiskClass =
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}";

struct ExitCase {
  const char *name;
  void (*prepare)(SetupWorld &);
  const char *arguments;
  std::string output;
  DWORD code;
};

class SetupExitCode : public SetupWorld, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(SetupExitCode, FromItsCause) {
  LayOutMedia();
  GetParam().prepare(*this);
  std::uint32_t pid = RunSetup(GetParam().arguments);
  EXPECT_EQ(world.console(pid), GetParam().output);
  EXPECT_EQ(world.exit_code(pid), GetParam().code);
}

void Nothing(SetupWorld &) {}
void EngineAbsent(SetupWorld &w) {
  w.world.set_sentrel(winsim::SentrelEngine::Absent);
}
void EngineDisabled(SetupWorld &w) {
  w.world.set_sentrel(winsim::SentrelEngine::Disabled);
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
void StopRefused(SetupWorld &w) {
  w.world.place_program(kYarrowPath, "Yarrow.exe");
  w.RegisterSuite();
  w.StartSuiteFromHost();
  w.Suite().stop_refuse = ERROR_DEPENDENT_SERVICES_RUNNING;
}
constexpr char kAny[] = "";
template <const char *Call, DWORD Error, const char *Match = kAny>
void Fails(SetupWorld &w) {
  w.world.faults().add({Call, Match, 1, false, Error});
}
void SuiteInstallFails(SetupWorld &w) {
  w.Suite().install_exit = 13;
}

constexpr char kGetWindowsDirectoryW[] = "GetWindowsDirectoryW";
constexpr char kGetModuleFileNameW[] = "GetModuleFileNameW";
constexpr char kCreateDirectoryW[] = "CreateDirectoryW";
constexpr char kStartServiceW[] = "StartServiceW";
constexpr char kRegSetValueExW[] = "RegSetValueExW";
constexpr char kRegCreateKeyExW[] = "RegCreateKeyExW";
constexpr char kTemp[] = "QORATmp";
constexpr char kPellam[] = "Pellam";
constexpr char kSuiteKey[] = "Software\\QORA";

INSTANTIATE_TEST_SUITE_P(
    Table, SetupExitCode,
    ::testing::Values(
        ExitCase{"TwoArgumentsEvenWithRemove", Nothing, "Remove bWinXP", kUsage, 6},
        ExitCase{"LowerCaseInstall", Nothing, "install bWinXP \\Driver Debug", kUsage, 6},
        ExitCase{"InstallWithABlank", Nothing, "\"Install \" bWinXP \\Driver Debug", kUsage, 6},
        ExitCase{"LowerCaseDebugIsQuiet", Nothing, "Install nWinXP \\Driver debug", "", 0},
        ExitCase{"EngineAbsent", EngineAbsent, "Install bWinXP \\Driver Debug",
                 "Sentrel does not exist. Installation stopped.\nExitCode = 2\n", 2},
        ExitCase{"EngineDisabled", EngineDisabled, "Install bWinXP \\Driver Debug",
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
        ExitCase{"StartRefused", Fails<kStartServiceW, 5>, "Install bWinXP \\Driver Debug",
                 kNoService + SetupWorld::CopyLines(1, 16) + DriverLine() +
                     "StartService failed (5)\nService start failed\nExitCode = 8\n",
                 8},
        ExitCase{"NoWindowsFolderInstall", Fails<kGetWindowsDirectoryW, 87>,
                 "Install bWinXP \\Driver Debug", kNoService + kInstallFailed + "ExitCode = 9\n",
                 9},
        ExitCase{"NoWindowsFolderRemove", Fails<kGetWindowsDirectoryW, 87>,
                 "Remove bWinXP \\Driver Debug",
                 std::string(kNoService) + "get windows directory fail\nExitCode = 9\n", 9},
        ExitCase{"NoBackslashInTheInstallersPath", Fails<kGetModuleFileNameW, 122>,
                 "Install bWinXP \\Driver Debug", kNoService + kInstallFailed + "ExitCode = 10\n",
                 10},
        ExitCase{"NoTemporaryFolder", Fails<kCreateDirectoryW, 3, kTemp>,
                 "Update bWinXP \\Driver Debug",
                 std::string(kNoService) +
                     "create temporary directory failed,err=0x00000003\nExitCode = 12\n",
                 12},
        ExitCase{"SuiteInstallFails", SuiteInstallFails, "Install bWinXP \\Driver Debug",
                 kNoService + SetupWorld::CopyLines(1, 16) + kInstallFailed + "ExitCode = 13\n",
                 13},
        ExitCase{"VersionNotWritten", Fails<kRegSetValueExW, 5, kSuiteKey>,
                 "Install bWinXP \\Driver Debug", InstallOutput() + "ExitCode = 15\n", 15},
        ExitCase{"SuiteKeyNotOpened", Fails<kRegCreateKeyExW, 5, kSuiteKey>,
                 "Remove bWinXP \\Driver", "", 17},
        ExitCase{"ParentFolderNotCreated", Fails<kCreateDirectoryW, 3, kPellam>,
                 "Install bWinXP \\Driver Debug",
                 kNoService +
                     std::string("Create Direcotry [\\Program Files\\Pellam] failed, "
                                 "error=0x00000003") +
                     kInstallFailed + "ExitCode = 18\n",
                 18}),
    [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace installer_test
