// The service's settings in its configuration key and the sibling keys it reads them from:
// names, defaults and bounds.
#pragma once

#include "platform/win32.h"

class RegHandle;

namespace quillet {

constexpr const char *kConfigKey = "SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";
constexpr const char *kRaidCheckKey =
    "SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\RDSCANSV";
constexpr const char *kTempCheckKey =
    "SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\THERMSCN";
constexpr const char *kBackupCheckKey =
    "SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\BKSCANSV";
constexpr const char *kFreeSpaceCheckKey =
    "SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\VOLSPACE";

// A DWORD that reads as 0xFFFFFFFF is missing: the key, the value, or a stored -1.
constexpr DWORD kMissing = 0xFFFFFFFF;

// The wait between periodic cycles for a "CheckInterval" value: 60 s when missing, at least
// 60 s, at most one day; in milliseconds.
DWORD CheckIntervalMs(DWORD dwCheckInterval);
// The seconds a SMART read failure may last before it is reported, for a "CheckLogInterval"
// value: values above an hour are taken, at most one day; otherwise the current value stays.
int CheckLogInterval(DWORD dwCheckLogInterval, int nCurrent);

// The hardware and disk thresholds, defaults applied: a value that reads as missing takes
// its default, any other stored number (0 included) is used as it is.
struct Thresholds {
  DWORD dwCpuTempWarn;
  DWORD dwCpuTempErr;
  DWORD dwCpuFanWarn;
  DWORD dwCpuFanErr;
  DWORD dwSystemTempWarn;
  DWORD dwSystemTempErr;
  DWORD dwDiskTempWarn;  // "TEMPParam" of the temperature check
  DWORD dwDiskTempErr;   // "TEMPParam2"
};
Thresholds ReadThresholds(RegHandle &config);

}  // namespace quillet
