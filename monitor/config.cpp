#include "monitor/config.h"

#include <algorithm>

#include "service/RegHandle.h"

namespace quillet {
namespace {

constexpr DWORD kMinCheckInterval = 60;
constexpr DWORD kMaxSeconds = 86400;
constexpr DWORD kMinCheckLogInterval = 3600;

DWORD OrDefault(DWORD dwValue, DWORD dwDefault) {
  return dwValue == kMissing ? dwDefault : dwValue;
}

}  // namespace

DWORD CheckIntervalMs(DWORD dwCheckInterval) {
  DWORD dwSeconds = dwCheckInterval == kMissing ? kMinCheckInterval
                                                : std::max(dwCheckInterval, kMinCheckInterval);
  return std::min(dwSeconds, kMaxSeconds) * 1000;
}

int CheckLogInterval(DWORD dwCheckLogInterval, int nCurrent) {
  if (dwCheckLogInterval == kMissing) return nCurrent;
  int nSeconds =
      dwCheckLogInterval > kMinCheckLogInterval ? static_cast<int>(dwCheckLogInterval) : nCurrent;
  if (dwCheckLogInterval > kMaxSeconds) nSeconds = static_cast<int>(kMaxSeconds);
  return nSeconds;
}

Thresholds ReadThresholds(RegHandle &config) {
  Thresholds t;
  t.dwCpuTempWarn = OrDefault(config.GetDword("CpuTempWarn"), 80);
  t.dwCpuTempErr = OrDefault(config.GetDword("CpuTempErr"), 85);
  t.dwCpuFanWarn = OrDefault(config.GetDword("CpuFanWarn"), 2000);
  t.dwCpuFanErr = OrDefault(config.GetDword("CpuFanErr"), 100);
  t.dwSystemTempWarn = OrDefault(config.GetDword("SystemTempWarn"), 80);
  t.dwSystemTempErr = OrDefault(config.GetDword("SystemTempErr"), 85);
  t.dwDiskTempWarn = OrDefault(config.GetDword(HKEY_LOCAL_MACHINE, kTempCheckKey, "TEMPParam"), 60);
  t.dwDiskTempErr = OrDefault(config.GetDword(HKEY_LOCAL_MACHINE, kTempCheckKey, "TEMPParam2"), 70);
  return t;
}

}  // namespace quillet
