// A path of the installer composed from a root and fixed texts in a buffer of MAX_PATH units,
// the Windows path limit. A path that would not fit keeps only what fits, for messages, and
// names no file: every operation on it fails with ERROR_FILENAME_EXCED_RANGE.
#pragma once

#include "platform/win32.h"

class InstallPath {
 public:
  // `pszRoot` followed by `pszFirst` and `pszSecond`; a null part is empty.
  InstallPath(LPCWSTR pszRoot, LPCWSTR pszFirst, LPCWSTR pszSecond = nullptr);

  LPCWSTR Text() const { return m_szPath; }
  bool Fits() const { return m_bFits; }

 private:
  bool Append(LPCWSTR pszPart);

  WCHAR m_szPath[MAX_PATH] = {};
  int m_cch = 0;
  bool m_bFits = true;
};

// The file operations of the installer on composed paths: the Win32 call when the path fits,
// else FALSE with ERROR_FILENAME_EXCED_RANGE as the last error.
BOOL CopyOnto(const InstallPath &source, const InstallPath &target);
BOOL DeletePath(const InstallPath &path);
BOOL CreateFolder(const InstallPath &path);
BOOL RemoveFolder(const InstallPath &path);
BOOL MarkForDeletionAtRestart(const InstallPath &path);
// Searches for a file or folder of exactly that name: ERROR_SUCCESS when found, else the
// search's error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND or ERROR_NO_MORE_FILES when there
// is none).
DWORD FindExactName(const InstallPath &path);
