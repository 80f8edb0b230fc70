#include "installer/suite_program.h"

#include "installer/InstallPath.h"
#include "installer/file_tables.h"
#include "platform/HandleGuard.h"

namespace {

// The exit code a run that is terminated gets.
constexpr UINT kTerminatedExitCode = ERROR_TIMEOUT;
// The longest switch passed.
constexpr int kMaxCommandLine = 16;

}  // namespace

SuiteProgramRun RunSuiteProgram(LPCWSTR pszSystemDrive, LPCWSTR pszSwitch, DWORD *pdwExitCode) {
  InstallPath program(pszSystemDrive, kInstalledSuiteProgram);
  if (!program.Fits()) return SuiteProgramRun::NotStarted;
  // CreateProcessW may write to the command line.
  WCHAR szCommandLine[kMaxCommandLine] = {};
  for (int i = 0; i < kMaxCommandLine - 1 && pszSwitch[i] != 0; ++i)
    szCommandLine[i] = pszSwitch[i];
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.Text(), szCommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return SuiteProgramRun::NotStarted;
  KernelHandle hProcess(process.hProcess);
  KernelHandle hThread(process.hThread);
  // A failed wait says nothing of the run: it may still be going.
  if (WaitForSingleObject(hProcess, kSuiteProgramWaitMs) != WAIT_OBJECT_0) {
    TerminateProcess(hProcess, kTerminatedExitCode);
    WaitForSingleObject(hProcess, kTerminatedRunWaitMs);
    return SuiteProgramRun::Terminated;
  }
  if (!GetExitCodeProcess(hProcess, pdwExitCode)) return SuiteProgramRun::NoExitCode;
  return SuiteProgramRun::Ended;
}
