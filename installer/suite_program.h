// Runs the installed suite service program with " -install" or " -remove", so that it
// registers or unregisters its own service.
#pragma once

#include "platform/win32.h"

// A run gets this long to end; then it is terminated.
constexpr DWORD kSuiteProgramWaitMs = 300000;
// A terminated run gets this long to be gone.
constexpr DWORD kTerminatedRunWaitMs = 10000;

enum class SuiteProgramRun {
  NotStarted,  // the program could not be started
  Ended,       // it ended by itself; its exit code is given
  Terminated,  // it did not end within kSuiteProgramWaitMs, or could not be waited for, and was
               // terminated
  NoExitCode,  // it ended, but its exit code could not be read
};

// Starts "\Program Files\Pellam\QORA\Yarrow.exe" on the system drive with `pszSwitch` as its
// whole command line, waits for it and closes its handles. A run that is not known to have
// ended by itself is terminated and waited for, so that it does not run on behind the
// installer's next steps.
SuiteProgramRun RunSuiteProgram(LPCWSTR pszSystemDrive, LPCWSTR pszSwitch, DWORD *pdwExitCode);
