#include "installer/InstallPath.h"

#include "platform/HandleGuard.h"

InstallPath::InstallPath(LPCWSTR pszRoot, LPCWSTR pszFirst, LPCWSTR pszSecond) {
  m_bFits = Append(pszRoot) && Append(pszFirst) && Append(pszSecond);
}

bool InstallPath::Append(LPCWSTR pszPart) {
  if (pszPart == nullptr) return true;
  for (; *pszPart != 0; ++pszPart) {
    // One unit stays for the terminator.
    if (m_cch == MAX_PATH - 1) return false;
    m_szPath[m_cch++] = *pszPart;
  }
  return true;
}

namespace {

BOOL TooLong() {
  SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return FALSE;
}

}  // namespace

BOOL CopyOnto(const InstallPath &source, const InstallPath &target) {
  if (!source.Fits() || !target.Fits()) return TooLong();
  return CopyFileW(source.Text(), target.Text(), FALSE);
}

BOOL DeletePath(const InstallPath &path) {
  return path.Fits() ? DeleteFileW(path.Text()) : TooLong();
}

BOOL CreateFolder(const InstallPath &path) {
  return path.Fits() ? CreateDirectoryW(path.Text(), nullptr) : TooLong();
}

BOOL RemoveFolder(const InstallPath &path) {
  return path.Fits() ? RemoveDirectoryW(path.Text()) : TooLong();
}

BOOL MarkForDeletionAtRestart(const InstallPath &path) {
  return path.Fits() ? MoveFileExW(path.Text(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) : TooLong();
}

DWORD FindExactName(const InstallPath &path) {
  if (!path.Fits()) return ERROR_FILENAME_EXCED_RANGE;
  WIN32_FIND_DATAW found;
  FindHandle hFind(FindFirstFileW(path.Text(), &found));
  return hFind.Holds() ? ERROR_SUCCESS : GetLastError();
}
