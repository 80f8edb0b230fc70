// Every exit code of QORASetup.exe from a real cause, and Install on media and machines that
// differ, with the exact console output of the run ("Debug" on unless the row says otherwise).
#include "InstallerWorld.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"

namespace installer_test {
namespace {

// How the machine differs from one without the suite.
enum Machine : unsigned {
  kAsIs = 0,
  kEngineAbsent = 1 << 0,
  kEngineDisabled = 1 << 1,
  kPredecessor = 1 << 2,  // "tillgate" first of the disk class's lower filters
  kMarkerHeld = 1 << 3,   // the marker of a running suite
  kFolders = 1 << 4,      // the install folder is there
  kStopRefused = 1 << 5,  // the suite's service runs and refuses to stop
  kSuiteInstallFails = 1 << 6,
};

struct ExitCase {
  const char *name;
  unsigned machine;
  const char *arguments;
  std::string output;
  DWORD code;
  std::vector<winsim::Fault> faults = {};
  std::vector<std::string> without = {};  // files of the media left out
};

constexpr const char *kInstallDebug = "Install bWinXP \\Driver Debug";

// A run on the whole media with one call failing; Install with "Debug".
ExitCase Failed(const char *name, const char *arguments, std::string output, DWORD code,
                winsim::Fault fault) {
  return {name, kAsIs, arguments, std::move(output), code, {fault}};
}
ExitCase Install(const char *name, std::string output, DWORD code, winsim::Fault fault) {
  return Failed(name, kInstallDebug, std::move(output), code, fault);
}

class SetupExitCode : public SetupWorld, public ::testing::WithParamInterface<ExitCase> {
 protected:
  void Prepare(unsigned machine) {
    if (machine & kEngineAbsent) world.set_sentrel(winsim::SentrelEngine::Absent);
    if (machine & kEngineDisabled) world.set_sentrel(winsim::SentrelEngine::Disabled);
    if (machine & kPredecessor)
      world.registry().set_multi_string(kClassKey, "LowerFilters", {"tillgate", "PartMgr"});
    if (machine & kMarkerHeld) world.hold_named_mutex("Global\\FALKUtility_Running_Mutex");
    if (machine & kFolders) world.files().add_directory(kInstallFolder);
    if (machine & kStopRefused) {
      world.place_program(kYarrowPath, "Yarrow.exe");
      RegisterSuite();
      StartSuiteFromHost();
      Suite().stop_refuse = ERROR_DEPENDENT_SERVICES_RUNNING;
    }
    if (machine & kSuiteInstallFails) Suite().install_exit = 13;
  }
};

TEST_P(SetupExitCode, FromItsCause) {
  const ExitCase &c = GetParam();
  LayOutMedia(c.without);
  Prepare(c.machine);
  for (const winsim::Fault &fault : c.faults) world.faults().add(fault);
  std::uint32_t pid = RunSetup(c.arguments);
  EXPECT_EQ(world.console(pid), c.output);
  EXPECT_EQ(world.exit_code(pid), c.code);
}

// The line of a copy whose source is missing.
std::string NotCopied(const std::string &source, const std::string &target) {
  return "\ncopy C:\\Media\\AP\\" + source + " to C:" + target + "...\t---Error=0x00000002";
}
// Install's output when the driver's copy from `folder` fails with `error`.
std::string DriverCopyFailed(const std::string &folder, const char *error) {
  return kNoService + SetupWorld::CopyLines(1, 16) + "\ncopy " + folder +
         "\\truecrypt.sys to C:\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys...\t---Error=" +
         error + kInstallFailed + "ExitCode = 11\n";
}

const std::string kNoEngine = "Sentrel does not exist. Installation stopped.\nExitCode = 2\n";
const std::string kOldVersion = "Old Version of PLIX exist. Installation stopped.\nExitCode = 4\n";
const std::string kStillRunning = "QORA is still running. Installation stopped.\nExitCode = 5\n";
const std::string kStopFailed = "Service stop failed\nExitCode = 7\n";

INSTANTIATE_TEST_SUITE_P(
    Table, SetupExitCode,
    ::testing::Values(
        // A folder that exists, or that access is denied to, is passed over.
        ExitCase("FoldersPresentOrDenied", kFolders, "Install bWinXP \"\\Driver\" Debug",
                 kNoService +
                     std::string("Create Direcotry [\\Program Files\\Pellam] failed, "
                                 "error=0x00000005Create Direcotry [\\Program Files\\Pellam\\QORA] "
                                 "failed, error=0x000000B7") +
                     SetupWorld::CopyLines(1, 16) + kDriverLine + kStarted + "ExitCode = 0\n",
                 0, {Failing("CreateDirectoryW", 5, 1, "Pellam")}),
        // The user guide, Tressel.exe and Cindle.dll are optional: Install goes on without them.
        ExitCase(
            "WithoutTheOptionalFiles", kAsIs, "Install bWinXP \"\\Driver\" Debug",
            kNoService + SetupWorld::CopyLines(1, 6) +
                NotCopied("Language\\Hesper.chm", "\\Program Files\\Pellam\\QORA\\Hesper.chm") +
                SetupWorld::CopyLines(8, 9) +
                NotCopied("X64\\Tressel.exe", "\\Program Files\\Pellam\\QORA\\Tressel.exe") +
                SetupWorld::CopyLines(11, 12) +
                NotCopied("X64\\Cindle.dll", "\\Windows\\System32\\Cindle.dll") +
                SetupWorld::CopyLines(14, 16) + kDriverLine + kStarted + "ExitCode = 0\n",
            0, {}, {"AP\\Language\\Hesper.chm", "AP\\X64\\Tressel.exe", "AP\\X64\\Cindle.dll"}),
        ExitCase("DriverPathWithoutBackslash", kAsIs, "Install bWinXP \"Driver\" Debug",
                 DriverCopyFailed("C:\\MediaDriver", "0x00000003"), 11),
        ExitCase("WithoutTheDriver", kAsIs, "Install bWinXP \"\" Debug",
                 DriverCopyFailed(kMedia, "0x00000002"), 11, {}, {"truecrypt.sys"}),
        ExitCase("TwoArgumentsEvenWithRemove", kAsIs, "Remove bWinXP", kUsage, 6),
        ExitCase("LowerCaseInstall", kAsIs, "install bWinXP \\Driver Debug", kUsage, 6),
        ExitCase("InstallWithABlank", kAsIs, "\"Install \" bWinXP \\Driver Debug", kUsage, 6),
        ExitCase("LowerCaseDebugIsQuiet", kAsIs, "Install nWinXP \\Driver debug", "", 0),
        ExitCase("EngineAbsent", kEngineAbsent, kInstallDebug, kNoEngine, 2),
        ExitCase("EngineDisabled", kEngineDisabled, kInstallDebug, kNoEngine, 2),
        ExitCase("Predecessor", kPredecessor, kInstallDebug, kOldVersion, 4),
        ExitCase("MarkerHeldInstall", kMarkerHeld, kInstallDebug, kStillRunning, 5),
        ExitCase("MarkerHeldEngineFirst", kMarkerHeld | kEngineAbsent, kInstallDebug, kNoEngine, 2),
        ExitCase("MarkerHeldPredecessorFirst", kMarkerHeld | kPredecessor, kInstallDebug,
                 kOldVersion, 4),
        ExitCase("MarkerHeldRemove", kMarkerHeld, "Remove bWinXP \\Driver Debug", kStillRunning, 5),
        ExitCase("PredecessorLeavesUpdateAlone", kPredecessor, "Update bWinXP \\Driver", "", 8),
        ExitCase("StopRefused", kStopRefused, kInstallDebug, kStopFailed, 7),
        Install("StartRefused",
                kNoService + SetupWorld::CopyLines(1, 16) + kDriverLine +
                    "StartService failed (5)\nService start failed\nExitCode = 8\n",
                8, Failing("StartServiceW", 5)),
        Install("NoWindowsFolderInstall", kNoService + kInstallFailed + "ExitCode = 9\n", 9,
                Failing("GetWindowsDirectoryW", 87)),
        Failed("NoWindowsFolderRemove", "Remove bWinXP \\Driver Debug",
               std::string(kNoService) + "get windows directory fail\nExitCode = 9\n", 9,
               Failing("GetWindowsDirectoryW", 87)),
        Install("NoBackslashInTheInstallersPath", kNoService + kInstallFailed + "ExitCode = 10\n",
                10, Failing("GetModuleFileNameW", 122)),
        Failed("NoTemporaryFolder", "Update bWinXP \\Driver Debug",
               std::string(kNoService) +
                   "create temporary directory failed,err=0x00000003\nExitCode = 12\n",
               12, Failing("CreateDirectoryW", 3, 1, "QORATmp")),
        ExitCase("SuiteInstallFails", kSuiteInstallFails, kInstallDebug,
                 kNoService + SetupWorld::CopyLines(1, 16) + kInstallFailed + "ExitCode = 13\n",
                 13),
        Install("VersionNotWritten", InstallOutput() + "ExitCode = 15\n", 15,
                Failing("RegSetValueExW", 5, 1, "Software\\QORA")),
        Failed("SuiteKeyNotOpened", "Remove bWinXP \\Driver", "", 17,
               Failing("RegCreateKeyExW", 5, 1, "Software\\QORA")),
        Install("ParentFolderNotCreated",
                kNoService +
                    std::string("Create Direcotry [\\Program Files\\Pellam] failed, "
                                "error=0x00000003") +
                    kInstallFailed + "ExitCode = 18\n",
                18, Failing("CreateDirectoryW", 3, 1, "Pellam"))),
    [](const auto &param_info) { return param_info.param.name; });

const std::string kInstalled = InstallOutput() + "ExitCode = 0\n";
// The calls of the command line, the checks, the deployment and the output, each refused where
// the installer makes it: the run ends with the code of the step left undone, or does the whole
// job.
INSTANTIATE_TEST_SUITE_P(
    FailedCalls, SetupExitCode,
    ::testing::Values(
        Install("CommandLineNotSplit", kUsage, 6,
                FailingIn("CommandLineToArgvW", "QORASetupMain", ERROR_NOT_ENOUGH_MEMORY)),
        // The marker of a suite that runs under another account refuses access to it, and any
        // other refusal leaves open whether a suite runs: the run stops as if one did.
        Failed("MarkerNotCreated", "Update bWinXP \\Driver Debug", kStillRunning, 5,
               FailingIn("CreateMutexW", "SuiteRunningCheck", ERROR_NO_SYSTEM_RESOURCES)),
        // A filter list that cannot be read counts as no predecessor.
        ExitCase("ClassKeyNotOpened", kPredecessor, kInstallDebug, kInstalled, 0,
                 {FailingIn("RegOpenKeyExW", "PredecessorPresent", ERROR_ACCESS_DENIED)}),
        ExitCase("FiltersNotRead", kPredecessor, kInstallDebug, kInstalled, 0,
                 {FailingIn("RegQueryValueExW", "PredecessorPresent", ERROR_ACCESS_DENIED)}),
        // Without IsWow64Process or its answer the process counts as 64-bit: the X64 column.
        Install("KernelModuleNotFound", kInstalled, 0,
                FailingIn("GetModuleHandleW", "RunsUnderWow64", ERROR_MOD_NOT_FOUND, true)),
        Install("WowQueryNotFound", kInstalled, 0,
                FailingIn("GetProcAddress", "RunsUnderWow64", ERROR_PROC_NOT_FOUND, true)),
        Install("WowQueryFails", kInstalled, 0,
                FailingIn("IsWow64Process", "RunsUnderWow64", ERROR_ACCESS_DENIED, true)),
        // " -install" did not run: its service is missing when the start comes.
        Install("SuiteInstallerNotStarted",
                kNoService + SetupWorld::CopyLines(1, 16) + kDriverLine +
                    "OpenService failed (1060)\nService start failed\nExitCode = 8\n",
                8, FailingIn("CreateProcessW", "RunSuiteProgram", ERROR_ACCESS_DENIED)),
        // Messages that cannot be written are lost; the run is not.
        Install("NoStandardOutput", "", 0,
                FailingIn("GetStdHandle", "WriteToStandardOutput", ERROR_INVALID_HANDLE, true)),
        Install("ConsoleRefusesText", "", 0,
                FailingIn("WriteConsoleW", "WriteToStandardOutput", ERROR_INVALID_HANDLE, true)),
        // Not taken for a console, the output gets the ANSI code page's bytes through WriteFile.
        Install("ConsoleModeUnread", kInstalled, 0,
                FailingIn("GetConsoleMode", "WriteToStandardOutput", ERROR_INVALID_HANDLE, true)),
        ExitCase("TextNotConverted", kAsIs, kInstallDebug, "", 0,
                 {FailingIn("GetConsoleMode", "WriteToStandardOutput", ERROR_INVALID_HANDLE, true),
                  FailingIn("WideCharToMultiByte", "WriteToStandardOutput",
                            ERROR_INSUFFICIENT_BUFFER, true)}),
        ExitCase("BytesNotWritten", kAsIs, kInstallDebug, "", 0,
                 {FailingIn("GetConsoleMode", "WriteToStandardOutput", ERROR_INVALID_HANDLE, true),
                  FailingIn("WriteFile", "WriteToStandardOutput", ERROR_NO_DATA, true)})),
    [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace installer_test
