#include "installer/file_deployment.h"

#include <string_view>

#include "installer/DebugOutput.h"
#include "installer/InstallPath.h"
#include "installer/exit_codes.h"
#include "installer/install_roots.h"
#include "installer/suite_program.h"

namespace {

using IsWow64ProcessFunction = BOOL(WINAPI *)(HANDLE, BOOL *);

// A 32-bit process on 64-bit Windows. IsWow64Process is looked up at every call: a Windows
// without it has no 32-bit processes on a 64-bit system.
bool RunsUnderWow64() {
  HMODULE hKernel = GetModuleHandleW(TEXT("kernel32"));
  if (hKernel == nullptr) return false;
  // Through the generic function pointer type, which converts to any other without a warning.
  auto pfnIsWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(hKernel, "IsWow64Process")));
  BOOL bWow64 = FALSE;
  return pfnIsWow64Process != nullptr && pfnIsWow64Process(GetCurrentProcess(), &bWow64) && bWow64;
}

// Creates one of the install folders; a folder that exists, or that access is denied to, is
// passed over (the copies into it then show whether it is usable).
bool CreateInstallFolder(LPCWSTR pszSystemDrive, LPCWSTR pszFolder) {
  if (CreateFolder(InstallPath(pszSystemDrive, pszFolder))) return true;
  DWORD dwError = GetLastError();
  DebugPrint(TEXT("Create Direcotry [%s] failed, error=0x%08X"), pszFolder, dwError);
  return dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_ACCESS_DENIED;
}

// Copies with overwriting allowed; with `bReport` the copy line and its outcome are printed.
DWORD CopyReported(const InstallPath &source, const InstallPath &target, bool bReport) {
  if (bReport) DebugPrint(TEXT("\ncopy %s to %s..."), source.Text(), target.Text());
  if (CopyOnto(source, target)) {
    if (bReport) DebugPrint(TEXT("\t---OK."));
    return ERROR_SUCCESS;
  }
  DWORD dwError = GetLastError();
  if (bReport) DebugPrint(TEXT("\t---Error=0x%08X"), dwError);
  return dwError;
}

// The service program's " -install" run: false when it failed, was terminated, or ended with an
// exit code that cannot be read. A program that cannot be started is passed over.
bool SuiteInstallerSucceeded(LPCWSTR pszSystemDrive) {
  DWORD dwExitCode = 0;
  switch (RunSuiteProgram(pszSystemDrive, TEXT(" -install"), &dwExitCode)) {
    case SuiteProgramRun::NotStarted:
      return true;
    case SuiteProgramRun::Ended:
      return dwExitCode == 0;
    case SuiteProgramRun::Terminated:
      return false;
    case SuiteProgramRun::NoExitCode:
      return false;
  }
  return false;
}

}  // namespace

DWORD CopyTableRow(const FileTableRow &row, LPCWSTR pszMediaRoot, LPCWSTR pszSystemDrive) {
  InstallPath target(pszSystemDrive, row.szDestination);
  LPCWSTR pszColumn = RunsUnderWow64() ? row.szX86Source : row.szX64Source;
  return CopyReported(InstallPath(pszMediaRoot, pszColumn), target, true);
}

int DeployFiles(LPCWSTR pszDriverPath, bool bRunSuiteInstaller, bool bRegisterDriver,
                InstallerVariant variant) {
  WCHAR szMediaRoot[MAX_PATH];
  if (!GetMediaRoot(szMediaRoot)) return kExitNoBackslash;
  WCHAR szSystemDrive[MAX_PATH];
  if (int nResult = GetSystemDrive(szSystemDrive)) return nResult;
  if (!CreateInstallFolder(szSystemDrive, kParentFolder) ||
      !CreateInstallFolder(szSystemDrive, kInstallFolder))
    return kExitFolderNotCreated;

  for (const FileTableRow &row : kFileTable)
    if (CopyTableRow(row, szMediaRoot, szSystemDrive) != ERROR_SUCCESS && row.nRequired != 0)
      return kExitCopyFailed;

  if (bRunSuiteInstaller && !SuiteInstallerSucceeded(szSystemDrive)) return kExitSuiteInstallFailed;

  // The same names on every processor: the driver path alone chooses the file.
  InstallPath driver(szSystemDrive, kInstalledDriver);
  if (CopyReported(InstallPath(szMediaRoot, pszDriverPath, kDriverFile), driver,
                   variant == InstallerVariant::Standard) != ERROR_SUCCESS)
    return kExitCopyFailed;

  if (bRegisterDriver)
    RegisterDriverService(DriverImagePath(variant, driver.Text()),
                          InstallPath(szSystemDrive, kInstalledNotifier).Text());
  return kExitSuccess;
}

// ---- Removal -------------------------------------------------------------------------------

namespace {

bool SameText(LPCWSTR pszFirst, LPCWSTR pszSecond) {
  return std::basic_string_view<WCHAR>(pszFirst) == std::basic_string_view<WCHAR>(pszSecond);
}

// Whether an update copies a new file onto the installed path right after the removal: a
// destination of the file table, the driver, or the restored resource.
bool CopiedAnewByUpdate(LPCWSTR pszEntry) {
  if (SameText(pszEntry, kInstalledDriver) || SameText(pszEntry, kInstalledResource)) return true;
  for (const FileTableRow &row : kFileTable)
    if (SameText(pszEntry, row.szDestination)) return true;
  return false;
}

// Deletes one installed file. One that cannot be deleted now is marked for deletion at the next
// restart, unless there is nothing at the path (neither the file nor its folder), or a new file
// is about to be copied onto it (the mark would delete the new file at the restart); a path too
// long to name a file is only reported.
void DeleteInstalledFile(LPCWSTR pszSystemDrive, LPCWSTR pszEntry, bool bCopiedAnew) {
  InstallPath path(pszSystemDrive, pszEntry);
  if (DeletePath(path)) {
    DebugPrint(TEXT("deleted %s.\n"), path.Text());
    return;
  }
  const DWORD dwError = GetLastError();
  DebugPrint(TEXT("DeleteFile %s failed error=0x%08X)\n"), path.Text(), dwError);
  if (!path.Fits() || dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ||
      bCopiedAnew)
    return;
  MarkForDeletionAtRestart(path);
  DebugPrint(TEXT("not deleted %s,delay delete it after reboot,last error=0x%08X.\n"), path.Text(),
             GetLastError());
}

}  // namespace

int RemoveFiles(bool bRunSuiteRemover, bool bRemoveRegistry, bool bRemoveLogs, bool bRedeploying) {
  WCHAR szSystemDrive[MAX_PATH];
  if (int nResult = GetSystemDriveReported(szSystemDrive)) return nResult;
  if (bRunSuiteRemover) {
    // Its outcome is not looked at: the deletions follow in any case.
    DWORD dwExitCode = 0;
    RunSuiteProgram(szSystemDrive, TEXT(" -remove"), &dwExitCode);
  }
  for (LPCWSTR pszEntry : kRemovalList)
    DeleteInstalledFile(szSystemDrive, pszEntry, bRedeploying && CopiedAnewByUpdate(pszEntry));
  if (bRemoveLogs)
    for (LPCWSTR pszEntry : kLogList) DeleteInstalledFile(szSystemDrive, pszEntry, false);
  // Each goes only when it is empty.
  RemoveFolder(InstallPath(szSystemDrive, kInstallFolder));
  RemoveFolder(InstallPath(szSystemDrive, kParentFolder));
  if (bRemoveRegistry) RemoveDriverRegistration();
  return kExitSuccess;
}

// ---- The resource file across an update ----------------------------------------------------

int BackupResource() {
  WCHAR szSystemDrive[MAX_PATH];
  if (int nResult = GetSystemDriveReported(szSystemDrive)) return nResult;
  if (!CreateFolder(InstallPath(szSystemDrive, kTempFolder))) {
    DWORD dwError = GetLastError();
    if (dwError != ERROR_ALREADY_EXISTS && dwError != ERROR_ACCESS_DENIED) {
      DebugPrint(TEXT("create temporary directory failed,err=0x%08X\n"), dwError);
      return kExitNoTempFolder;
    }
  }
  InstallPath backup(szSystemDrive, kResourceBackup);
  for (LPCWSTR pszCandidate : kResourceCandidateList) {
    InstallPath candidate(szSystemDrive, pszCandidate);
    // A search that fails for another reason than the file's absence cannot tell that there is
    // nothing to keep: the removal that follows would delete the resource unsaved.
    DWORD dwError = FindExactName(candidate);
    if (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ||
        dwError == ERROR_NO_MORE_FILES)
      continue;
    if (dwError == ERROR_SUCCESS && !CopyOnto(candidate, backup)) dwError = GetLastError();
    if (dwError != ERROR_SUCCESS) {
      DebugPrint(TEXT("backup %s to %s\t---fail,error=0x%08X\n"), candidate.Text(), backup.Text(),
                 dwError);
      return kExitCopyFailed;
    }
    DebugPrint(TEXT("backup %s to %s\t---OK\n"), candidate.Text(), backup.Text());
    return kExitSuccess;
  }
  DebugPrint(TEXT("don't find the mirtResource file\n"));
  return kExitSuccess;
}

int RestoreResource() {
  WCHAR szSystemDrive[MAX_PATH];
  if (int nResult = GetSystemDriveReported(szSystemDrive)) return nResult;
  // Always into the install folder, wherever the resource was found.
  InstallPath backup(szSystemDrive, kResourceBackup);
  InstallPath target(szSystemDrive, kInstalledResource);
  if (CopyOnto(backup, target)) {
    DebugPrint(TEXT("\ncopy  mirtResource from %s to %s\t---OK\n"), backup.Text(), target.Text());
  } else {
    DWORD dwError = GetLastError();
    DebugPrint(TEXT("\ncopy  mirtResource from %s to %s failed,error=0x%08X\n"), backup.Text(),
               target.Text(), dwError);
    // No backup was made when there was no resource.
    if (dwError != ERROR_FILE_NOT_FOUND && dwError != ERROR_PATH_NOT_FOUND) return kExitCopyFailed;
  }
  DeletePath(backup);
  RemoveFolder(InstallPath(szSystemDrive, kTempFolder));
  return kExitSuccess;
}
