// QORASetup's command line and the order of the steps of its three modes:
//   QORASetup.exe Install|Remove|Update <WinXP> <driver path> [Debug]
#pragma once

#include "installer/registry_entries.h"
#include "platform/win32.h"

// The modes; each returns the run's exit code (installer/exit_codes.h).
int RunInstall(LPCWSTR pszDriverPath, InstallerVariant variant);
int RunRemove();
int RunUpdate(LPCWSTR pszDriverPath, InstallerVariant variant);

// The whole program: reads the UTF-16 command line, sets DebugOutput, runs the mode and prints
// "ExitCode = %d\n"; or prints the usage text and returns 6.
int QORASetupMain(InstallerVariant variant);
