// Runs the installed suite service program with " -install" or " -remove", so that it
// registers or unregisters its own service.
#pragma once

#include "platform/win32.h"

// A run gets this long to end; then it is terminated.
constexpr DWORD kSuiteProgramWaitMs = 300000;

enum class SuiteProgramRun {
  NotStarted,  // the program could not be started
  Ended,       // it ended by itself; its exit code is given
  TimedOut,    // it did not end within kSuiteProgramWaitMs and was terminated
};

// Starts "\Program Files\Pellam\QORA\Yarrow.exe" on the system drive with `pszSwitch` as its
// whole command line, waits for it and closes its handles.
SuiteProgramRun RunSuiteProgram(LPCWSTR pszSystemDrive, LPCWSTR pszSwitch, DWORD *pdwExitCode);
