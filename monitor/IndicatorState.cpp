#include "monitor/IndicatorState.h"

std::atomic<int> g_bBoardReady;
std::atomic<int> g_bSuspended;
CRITICAL_SECTION g_csSuspended;
std::atomic<int> g_bRaidAlarmRun;
CRITICAL_SECTION g_csRaidAlarmRun;
std::atomic<int> g_bSysAlarmRun;
CRITICAL_SECTION g_csSysAlarmRun;
std::atomic<int> g_bRaidAltBlinkRun;
CRITICAL_SECTION g_csRaidAltBlinkRun;
std::atomic<int> g_bRaidBlinkRun;
CRITICAL_SECTION g_csRaidBlinkRun;
std::atomic<int> g_bStatusBlinkRun;
CRITICAL_SECTION g_csStatusBlinkRun;
std::atomic<int> g_bRaidSnoozeReload;
CRITICAL_SECTION g_csRaidSnoozeReload;
std::atomic<int> g_bSysSnoozeReload;
CRITICAL_SECTION g_csSysSnoozeReload;
LONG g_lErrorPresent;
std::atomic<int> g_nRaidSnoozeTime;
std::atomic<int> g_nRaidSnoozeType;
std::atomic<int> g_nSysSnoozeTime;
std::atomic<int> g_nSysSnoozeType;
int g_nCheckLogInterval;
std::int64_t g_tSmartFailDeadline;
bool g_abSmartFailArmed[2];
bool g_bListedWithoutToolReported;
LastStatusCodes LastStatus;

namespace {

CRITICAL_SECTION *const kLocks[] = {
    &g_csSuspended,    &g_csRaidAlarmRun,   &g_csSysAlarmRun,      &g_csRaidAltBlinkRun,
    &g_csRaidBlinkRun, &g_csStatusBlinkRun, &g_csRaidSnoozeReload, &g_csSysSnoozeReload,
};

}  // namespace

void InitializeIndicatorState() {
  g_bBoardReady = 0;
  g_bSuspended = 0;
  g_bRaidAlarmRun = 0;
  g_bSysAlarmRun = 0;
  g_bRaidAltBlinkRun = 0;
  g_bRaidBlinkRun = 0;
  g_bStatusBlinkRun = 0;
  g_bRaidSnoozeReload = 0;
  g_bSysSnoozeReload = 0;
  g_lErrorPresent = 0;
  g_nRaidSnoozeTime = 10;
  g_nRaidSnoozeType = -1;
  g_nSysSnoozeTime = 10;
  g_nSysSnoozeType = -1;
  g_nCheckLogInterval = 3600;
  g_tSmartFailDeadline = 0;
  g_abSmartFailArmed[0] = false;
  g_abSmartFailArmed[1] = false;
  g_bListedWithoutToolReported = false;
  LastStatus = LastStatusCodes{};
  for (CRITICAL_SECTION *cs : kLocks) InitializeCriticalSection(cs);
}

void DeleteIndicatorLocks() {
  for (CRITICAL_SECTION *cs : kLocks) DeleteCriticalSection(cs);
}

int ReadFlag(CRITICAL_SECTION &cs, const std::atomic<int> &flag) {
  EnterCriticalSection(&cs);
  int value = flag;
  LeaveCriticalSection(&cs);
  return value;
}

void WriteFlag(CRITICAL_SECTION &cs, std::atomic<int> &flag, int value) {
  EnterCriticalSection(&cs);
  flag = value;
  LeaveCriticalSection(&cs);
}

LONG ErrorPresent() {
  return std::atomic_ref<LONG>(g_lErrorPresent).load();
}
