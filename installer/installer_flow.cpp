#include "installer/installer_flow.h"

#include "installer/DebugOutput.h"
#include "installer/exit_codes.h"
#include "installer/file_deployment.h"
#include "installer/prerequisites.h"
#include "installer/suite_service.h"
#include "platform/HandleGuard.h"

namespace {

// Positions on the command line, after the program name.
constexpr int kModeArgument = 1;
constexpr int kDriverPathArgument = 3;
constexpr int kDebugArgument = 4;

constexpr LPCWSTR kUsage[] = {
    TEXT("USAGE: QORASetup.exe [Install[WinXP[Path]]] [Remove[WinXP[Path]]]"),
    TEXT("\nOptions:\n"),
    TEXT("\tInstall: .......\n"),
    TEXT("\tRemove: ........\n"),
    TEXT("\tUpdate: ........\n"),
    TEXT("\t      WinXP: bWinXP or nWinXP.\n"),
    TEXT("\t      Path: driver file where located.\n"),
};

int Usage() {
  for (LPCWSTR pszPiece : kUsage) PrintAlways(pszPiece);
  return kExitUsage;
}

// Whole-argument, case-sensitive comparison.
bool IsWord(LPCWSTR pszArgument, LPCWSTR pszWord) {
  while (*pszArgument != 0 && *pszArgument == *pszWord) {
    ++pszArgument;
    ++pszWord;
  }
  return *pszArgument == *pszWord;
}

// Install and Update end alike: the service started, then the version value.
int StartAndRecordVersion() {
  if (StartSuiteService() != kStartDone) {
    DebugPrint(TEXT("Service start failed\n"));
    return kExitStartFailed;
  }
  return WriteVersionValue() ? kExitSuccess : kExitVersionNotWritten;
}

int RunMode(LPCWSTR pszMode, LPCWSTR pszDriverPath, InstallerVariant variant) {
  if (IsWord(pszMode, TEXT("Install"))) return RunInstall(pszDriverPath, variant);
  if (IsWord(pszMode, TEXT("Remove"))) return RunRemove();
  return RunUpdate(pszDriverPath, variant);
}

bool IsMode(LPCWSTR pszArgument) {
  return IsWord(pszArgument, TEXT("Install")) || IsWord(pszArgument, TEXT("Remove")) ||
         IsWord(pszArgument, TEXT("Update"));
}

}  // namespace

int RunInstall(LPCWSTR pszDriverPath, InstallerVariant variant) {
  KernelHandle marker;  // the running marker, held to the end of the run
  if (int nResult = CheckPrerequisites(marker)) return nResult;
  if (int nResult = DeployFiles(pszDriverPath, true, true, variant)) {
    DebugPrint(
        TEXT("some error during Install/Uninstall,such as install service/driver failure,copy "
             "file failure,etc.\n"));
    return nResult;
  }
  return StartAndRecordVersion();
}

int RunRemove() {
  KernelHandle marker;  // the running marker, held to the end of the run
  if (int nResult = CheckNotRunningAndStop(false, marker)) return nResult;
  if (int nResult = RemoveFiles(true, true, true, false)) return nResult;
  return DeleteVersionKey() ? kExitSuccess : kExitVersionKeyNotOpened;
}

int RunUpdate(LPCWSTR pszDriverPath, InstallerVariant variant) {
  KernelHandle marker;  // the running marker, held to the end of the run
  if (int nResult = CheckNotRunningAndStop(false, marker)) return nResult;
  if (int nResult = BackupResource()) return nResult;
  if (int nResult = RemoveFiles(false, false, false, true)) return nResult;
  if (int nResult = DeployFiles(pszDriverPath, false, false, variant)) {
    DebugPrint(TEXT("some error during Update, such as copy file failure,etc.\n"));
    return nResult;
  }
  if (int nResult = RestoreResource()) return nResult;
  return StartAndRecordVersion();
}

int QORASetupMain(InstallerVariant variant) {
  DebugOutput = false;
  int nArguments = 0;
  LPWSTR *ppszArguments = CommandLineToArgvW(GetCommandLineW(), &nArguments);
  if (ppszArguments == nullptr) return Usage();
  int nExitCode = kExitUsage;
  if (nArguments <= kDriverPathArgument || !IsMode(ppszArguments[kModeArgument])) {
    Usage();
  } else {
    DebugOutput =
        nArguments > kDebugArgument && IsWord(ppszArguments[kDebugArgument], TEXT("Debug"));
    nExitCode = RunMode(ppszArguments[kModeArgument], ppszArguments[kDriverPathArgument], variant);
    DebugPrint(TEXT("ExitCode = %d\n"), nExitCode);
  }
  LocalFree(ppszArguments);
  return nExitCode;
}
