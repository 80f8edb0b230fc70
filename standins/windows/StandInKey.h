// The registry key under HKLM through which a stand-in of the Windows build is set up: its
// values read with a default when they are missing or of another type.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class StandInKey {
 public:
  explicit constexpr StandInKey(const char *pszPath) : m_pszPath(pszPath) {}

  const char *Path() const { return m_pszPath; }

  // The value's bytes, when it exists with type `dwType`.
  bool Read(const char *pszName, DWORD dwType, std::vector<BYTE> &data) const {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, m_pszPath, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
      return false;
    DWORD dwFound = 0, cbData = 0;
    bool bRead =
        RegQueryValueExA(hKey, pszName, nullptr, &dwFound, nullptr, &cbData) == ERROR_SUCCESS &&
        dwFound == dwType;
    if (bRead) {
      data.assign(cbData, 0);
      bRead =
          RegQueryValueExA(hKey, pszName, nullptr, nullptr, data.data(), &cbData) == ERROR_SUCCESS;
      data.resize(cbData);
    }
    RegCloseKey(hKey);
    return bRead;
  }

  std::string ReadString(const char *pszName, const char *pszDefault) const {
    std::vector<BYTE> data;
    if (!Read(pszName, REG_SZ, data)) return pszDefault;
    std::string text(data.begin(), data.end());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
  }

  DWORD ReadDword(const char *pszName, DWORD dwDefault) const {
    std::vector<BYTE> data;
    if (!Read(pszName, REG_DWORD, data) || data.size() != sizeof(DWORD)) return dwDefault;
    return static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
           static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
  }

 private:
  const char *m_pszPath;
};
