#include "installer/install_roots.h"

#include "installer/DebugOutput.h"
#include "installer/exit_codes.h"

namespace {

// Ends the text just before its last backslash; false when it holds none.
bool CutAtLastBackslash(LPWSTR pszPath) {
  LPWSTR pszLast = nullptr;
  for (LPWSTR p = pszPath; *p != 0; ++p)
    if (*p == TEXT('\\')) pszLast = p;
  if (pszLast == nullptr) return false;
  *pszLast = 0;
  return true;
}

}  // namespace

bool GetMediaRoot(WCHAR (&szRoot)[MAX_PATH]) {
  // Zeroed first: a failed or truncated read leaves a terminated text.
  for (WCHAR &c : szRoot) c = 0;
  GetModuleFileNameW(nullptr, szRoot, MAX_PATH - 1);
  return CutAtLastBackslash(szRoot);
}

int GetSystemDrive(WCHAR (&szDrive)[MAX_PATH]) {
  UINT cch = GetWindowsDirectoryW(szDrive, MAX_PATH);
  if (cch == 0 || cch >= MAX_PATH) return kExitNoWindowsFolder;
  return CutAtLastBackslash(szDrive) ? 0 : kExitNoBackslash;
}

int GetSystemDriveReported(WCHAR (&szDrive)[MAX_PATH]) {
  int nResult = GetSystemDrive(szDrive);
  if (nResult == kExitNoWindowsFolder) DebugPrint(TEXT("get windows directory fail\n"));
  if (nResult == kExitNoBackslash) DebugPrint(TEXT("directory not correct\n"));
  return nResult;
}
