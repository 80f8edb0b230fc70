// Registry access of the service: one DWORD value read, written or deleted per call, or a key
// tested for existence. No key stays open between calls; a missing key is never created.
#pragma once

#include <string>

#include "platform/win32.h"

class RegHandle {
 public:
  // `hRoot` is HKEY_LOCAL_MACHINE in every use, or null for an object made only to call
  // KeyExists; `pszKeyPath` is the key below the root. The object owns the root handle.
  RegHandle(HKEY hRoot, const char *pszKeyPath);
  virtual ~RegHandle();
  RegHandle(const RegHandle &) = delete;
  RegHandle &operator=(const RegHandle &) = delete;

  // The value as an unsigned 32-bit number; 0xFFFFFFFF on any failure, so a stored
  // 0xFFFFFFFF reads like a missing value.
  DWORD GetDword(const char *pszValueName);
  DWORD GetDword(HKEY hRoot, const char *pszKeyPath, const char *pszValueName);
  // 1 when the value was written (as REG_DWORD), else 0.
  int SetDword(const char *pszValueName, DWORD dwValue);
  // 1 when the value was deleted, else 0 (also when it did not exist).
  int DeleteValue(const char *pszValueName);
  // 1 when the key opens with full access, else 0: a key without full access counts as missing.
  int KeyExists(HKEY hRoot, const char *pszKeyPath);

 private:
  bool HasKey() const { return m_hRoot != nullptr && !m_strKeyPath.empty(); }

  HKEY m_hRoot;
  std::string m_strKeyPath;
};
