// The Windows form of the WMI command-line tool's stand-in, for end-to-end runs of the real
// programs under Wine. Its behaviour comes from values under
// HKEY_LOCAL_MACHINE\SOFTWARE\WmicStandIn:
//   "OutputFile" REG_SZ  file whose bytes are written to standard output, exactly as stored
//   "DelayMs"    DWORD   milliseconds to wait after the output before ending
//   "Hang"       DWORD   non-zero: never end
// Missing values mean no output, no delay and no hang. The arguments are not looked at.
#include <windows.h>

#include <string>

namespace {

constexpr const char *kKeyPath = "SOFTWARE\\WmicStandIn";

DWORD ReadDword(HKEY hKey, const char *pszName) {
  DWORD dwValue = 0;
  DWORD cbValue = sizeof dwValue;
  DWORD dwType = 0;
  if (RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE *>(&dwValue),
                       &cbValue) != ERROR_SUCCESS ||
      dwType != REG_DWORD)
    return 0;
  return dwValue;
}

std::string ReadString(HKEY hKey, const char *pszName) {
  char szValue[MAX_PATH * 2] = {};
  DWORD cbValue = sizeof szValue - 1;
  DWORD dwType = 0;
  if (RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE *>(szValue),
                       &cbValue) != ERROR_SUCCESS ||
      dwType != REG_SZ)
    return std::string();
  return szValue;
}

// Copies the file's bytes to standard output.
void WriteFileToOutput(const std::string &strPath) {
  HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return;
  HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
  char buffer[4096];
  DWORD cbRead = 0;
  while (ReadFile(hFile, buffer, sizeof buffer, &cbRead, nullptr) && cbRead > 0) {
    DWORD cbWritten = 0;
    if (!WriteFile(hOut, buffer, cbRead, &cbWritten, nullptr)) break;
  }
  CloseHandle(hFile);
}

}  // namespace

int main() {
  HKEY hKey = nullptr;
  std::string strOutputFile;
  DWORD dwDelayMs = 0;
  DWORD dwHang = 0;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, &hKey) == ERROR_SUCCESS) {
    strOutputFile = ReadString(hKey, "OutputFile");
    dwDelayMs = ReadDword(hKey, "DelayMs");
    dwHang = ReadDword(hKey, "Hang");
    RegCloseKey(hKey);
  }
  if (!strOutputFile.empty()) WriteFileToOutput(strOutputFile);
  if (dwHang != 0) Sleep(INFINITE);
  Sleep(dwDelayMs);
  return 0;
}
