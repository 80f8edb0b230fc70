// The installer's work on files: copying the suite from the installation media by the file
// table, the driver copy, the suite service program's own installation and removal, deleting
// the installed files, and carrying the resource file across an update. Results are exit
// codes (installer/exit_codes.h); messages go through DebugPrint.
#pragma once

#include "installer/file_tables.h"
#include "installer/registry_entries.h"
#include "platform/win32.h"

// Creates the install folders, copies the file table, runs the installed service program with
// " -install" when asked, copies the driver from the media root plus `pszDriverPath`, and
// registers it when asked. Returns 0, 9, 10, 11, 13 or 18.
int DeployFiles(LPCWSTR pszDriverPath, bool bRunSuiteInstaller, bool bRegisterDriver,
                InstallerVariant variant);

// Copies one row from the media root's X64 (or, in a 32-bit process on 64-bit Windows, X86)
// source onto its destination on the system drive; returns 0 or the copy's system error.
DWORD CopyTableRow(const FileTableRow &row, LPCWSTR pszMediaRoot, LPCWSTR pszSystemDrive);

// Runs the installed service program with " -remove" when asked, deletes the removal list and,
// when asked, the log list, removes the empty install folders and, when asked, the driver's
// registry entries. A file that cannot be deleted now (in use) is marked for deletion at the
// next restart; with `bRedeploying` (an update, whose deployment follows) not one that the
// deployment copies anew. Returns 0, 9 or 10.
int RemoveFiles(bool bRunSuiteRemover, bool bRemoveRegistry, bool bRemoveLogs, bool bRedeploying);

// Copies the first resource candidate found into the temporary folder; a search for a candidate
// that fails for another reason than its absence is a failed backup. Returns 0, 9, 10, 11, 12.
int BackupResource();

// Copies the backup into the install folder, then deletes it and the temporary folder.
// A missing backup is no failure. Returns 0, 9, 10 or 11.
int RestoreResource();
