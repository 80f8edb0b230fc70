#include "service/RegHandle.h"

#include "platform/HandleGuard.h"

RegHandle::RegHandle(HKEY hRoot, const char *pszKeyPath)
    : m_hRoot(hRoot), m_strKeyPath(pszKeyPath != nullptr ? pszKeyPath : "") {}

RegHandle::~RegHandle() {
  if (m_hRoot != nullptr) RegCloseKey(m_hRoot);
}

DWORD RegHandle::GetDword(const char *pszValueName) {
  if (!HasKey()) return 0xFFFFFFFF;
  return GetDword(m_hRoot, m_strKeyPath.c_str(), pszValueName);
}

DWORD RegHandle::GetDword(HKEY hRoot, const char *pszKeyPath, const char *pszValueName) {
  RegKey hKey;
  if (RegOpenKeyExA(hRoot, pszKeyPath, 0, KEY_READ, hKey.Receive()) != ERROR_SUCCESS)
    return 0xFFFFFFFF;
  DWORD dwType = 0;
  DWORD cbData = 0;
  DWORD dwResult = 0xFFFFFFFF;
  RegQueryValueExA(hKey, pszValueName, nullptr, &dwType, nullptr, &cbData);
  // The result field holds four bytes. Longer data (a string, for instance) is no DWORD and
  // reads as a failure; shorter data replaces only the low-order bytes.
  if (cbData > sizeof dwResult ||
      RegQueryValueExA(hKey, pszValueName, nullptr, &dwType, reinterpret_cast<BYTE *>(&dwResult),
                       &cbData) != ERROR_SUCCESS)
    dwResult = 0xFFFFFFFF;
  return dwResult;
}

int RegHandle::SetDword(const char *pszValueName, DWORD dwValue) {
  if (!HasKey()) return 0;
  RegKey hKey;
  if (RegOpenKeyExA(m_hRoot, m_strKeyPath.c_str(), 0, KEY_ALL_ACCESS, hKey.Receive()) !=
      ERROR_SUCCESS)
    return 0;
  LSTATUS lStatus = RegSetValueExA(hKey, pszValueName, 0, REG_DWORD,
                                   reinterpret_cast<const BYTE *>(&dwValue), sizeof dwValue);
  return lStatus == ERROR_SUCCESS ? 1 : 0;
}

int RegHandle::DeleteValue(const char *pszValueName) {
  if (!HasKey()) return 0;
  RegKey hKey;
  if (RegOpenKeyExA(m_hRoot, m_strKeyPath.c_str(), 0, KEY_ALL_ACCESS, hKey.Receive()) !=
      ERROR_SUCCESS)
    return 0;
  LSTATUS lStatus = RegDeleteValueA(hKey, pszValueName);
  return lStatus == ERROR_SUCCESS ? 1 : 0;
}

int RegHandle::KeyExists(HKEY hRoot, const char *pszKeyPath) {
  RegKey hKey;
  LSTATUS lStatus = RegOpenKeyExA(hRoot, pszKeyPath, 0, KEY_ALL_ACCESS, hKey.Receive());
  return lStatus == ERROR_SUCCESS ? 1 : 0;
}
