// The board library's stand-in for Windows (Brackle.dll), so that the real Quillet.exe can run
// on a machine without the board, under Wine for example. Its behaviour is set through values of
// HKLM "SOFTWARE\BrackleStandIn":
//   "InitResults"  REG_SZ, comma-separated signed results of successive BRK_Initialize calls
//                  on this machine, counted by "InitCalls" across processes as the simulated
//                  board counts them, so a restarted service goes on down the list; the last
//                  repeats (default "0")
//   "CpuFanSpeed"  DWORD rpm (default 3000); "CpuFanResult" DWORD, signed (default 0)
//   "CpuTemp", "SystemTemp"  REG_SZ decimal degrees such as "47.9" (defaults "45.0", "38.0");
//                  "CpuTempResult", "SystemTempResult" DWORD, signed (default 0)
//   "GpioLog"      REG_SZ, a file to which each GPIO write appends the line
//                  "<milliseconds since the DLL loaded> <pin> <level>"
// and it reports what the service did there: each GPIO write sets the DWORD "Pin<n>" to the
// level; "InitCalls" and "UnInitCalls" count the calls.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "monitor/Brackle.h"
#include "standins/windows/StandInKey.h"

namespace {

constexpr StandInKey kKey("SOFTWARE\\BrackleStandIn");
constexpr std::int32_t kBadArgument = -1;
constexpr std::int32_t kNoSuchPin = -1001;
constexpr std::uint8_t kPins[] = {10, 32, 12};

const ULONGLONG g_ullLoadTick = GetTickCount64();
SRWLOCK g_logLock = SRWLOCK_INIT;

void WriteDword(const std::string &strName, DWORD dwValue) {
  HKEY hKey = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey.Path(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(hKey, strName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&dwValue),
                 sizeof dwValue);
  RegCloseKey(hKey);
}

// Counts a call in the registry; returns how many there were before it.
DWORD CountCall(const char *pszName) {
  DWORD dwBefore = kKey.ReadDword(pszName, 0);
  WriteDword(pszName, dwBefore + 1);
  return dwBefore;
}

// The entry of "InitResults" for the given attempt (0 for the first).
std::int32_t InitResultOf(DWORD dwAttempt) {
  std::string strList = kKey.ReadString("InitResults", "0");
  std::int32_t nResult = 0;
  DWORD dwIndex = 0;
  std::size_t pos = 0;
  for (;;) {
    std::size_t end = strList.find(',', pos);
    nResult =
        static_cast<std::int32_t>(std::strtol(strList.substr(pos, end - pos).c_str(), nullptr, 0));
    if (dwIndex == dwAttempt || end == std::string::npos) return nResult;
    pos = end + 1;
    ++dwIndex;
  }
}

bool IsBoardPin(std::uint8_t byPin) {
  for (std::uint8_t byBoardPin : kPins)
    if (byBoardPin == byPin) return true;
  return false;
}

void AppendGpioLog(std::uint8_t byPin, std::uint8_t byLevel) {
  std::string strLog = kKey.ReadString("GpioLog", "");
  if (strLog.empty()) return;
  char szLine[64];
  int cch = std::snprintf(szLine, sizeof szLine, "%llu %u %u\n",
                          static_cast<unsigned long long>(GetTickCount64() - g_ullLoadTick),
                          static_cast<unsigned>(byPin), static_cast<unsigned>(byLevel));
  AcquireSRWLockExclusive(&g_logLock);
  HANDLE hFile = CreateFileA(strLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile != INVALID_HANDLE_VALUE) {
    DWORD dwWritten = 0;
    WriteFile(hFile, szLine, static_cast<DWORD>(cch), &dwWritten, nullptr);
    CloseHandle(hFile);
  }
  ReleaseSRWLockExclusive(&g_logLock);
}

double ReadTemperature(const char *pszName, const char *pszDefault) {
  return std::strtod(kKey.ReadString(pszName, pszDefault).c_str(), nullptr);
}

std::int32_t ReadResult(const char *pszName) {
  return static_cast<std::int32_t>(kKey.ReadDword(pszName, 0));
}

}  // namespace

extern "C" {

std::int32_t BRK_Initialize(BrkInitParams *pParams) {
  (void)pParams;
  return InitResultOf(CountCall("InitCalls"));
}

std::int32_t BRK_UnInitialize() {
  CountCall("UnInitCalls");
  return 0;
}

std::int32_t BRKGpio_Write(std::uint8_t byPin, std::uint8_t byLevel) {
  if (!IsBoardPin(byPin)) return kNoSuchPin;
  WriteDword("Pin" + std::to_string(byPin), byLevel);
  AppendGpioLog(byPin, byLevel);
  return 0;
}

std::int32_t BRKHwmCpu_GetFanSpeed(std::int32_t *pnSpeed) {
  if (pnSpeed == nullptr) return kBadArgument;
  std::int32_t nResult = ReadResult("CpuFanResult");
  if (nResult == 0) *pnSpeed = static_cast<std::int32_t>(kKey.ReadDword("CpuFanSpeed", 3000));
  return nResult;
}

std::int32_t BRKHwmCpu_GetTemperature(double *pdTemperature) {
  if (pdTemperature == nullptr) return kBadArgument;
  std::int32_t nResult = ReadResult("CpuTempResult");
  if (nResult == 0) *pdTemperature = ReadTemperature("CpuTemp", "45.0");
  return nResult;
}

std::int32_t BRKHwmSystem_GetTemperature(double *pdTemperature) {
  if (pdTemperature == nullptr) return kBadArgument;
  std::int32_t nResult = ReadResult("SystemTempResult");
  if (nResult == 0) *pdTemperature = ReadTemperature("SystemTemp", "38.0");
  return nResult;
}

}  // extern "C"
