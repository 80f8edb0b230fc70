// The process-wide state that the monitoring cycle, the control thread and the indicator
// threads share. Every run flag and reload flag has its own critical section and is read and
// written only under it; no code holds two of these locks at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32.h"

// Status codes of the last cycle, for the transition messages: the nine health components
// and the system status, initially all normal.
struct LastStatusCodes {
  int nCpuTemp = 11100;
  int nCpuFan = 12100;
  int nSystemTemp = 13100;
  int anHddTemp[2] = {21100, 21100};
  int anHddSmart[2] = {22100, 22100};
  int nBackup = 31100;
  int nFreeSpace = 32100;
  int nSystem = 100;
};

// Flags and copies that one thread writes and another reads are atomic: the run and reload
// flags are still changed and tested under their locks, but some are also read without one
// (the RAID threads' flags by the system alarm), and the board flag and the snooze copies have
// none.

// 1 while the board library is up; GPIO and readings only then.
extern std::atomic<int> g_bBoardReady;
extern std::atomic<int> g_bSuspended;
extern CRITICAL_SECTION g_csSuspended;
extern std::atomic<int> g_bRaidAlarmRun;
extern CRITICAL_SECTION g_csRaidAlarmRun;
extern std::atomic<int> g_bSysAlarmRun;
extern CRITICAL_SECTION g_csSysAlarmRun;
extern std::atomic<int> g_bRaidAltBlinkRun;
extern CRITICAL_SECTION g_csRaidAltBlinkRun;
extern std::atomic<int> g_bRaidBlinkRun;
extern CRITICAL_SECTION g_csRaidBlinkRun;
extern std::atomic<int> g_bStatusBlinkRun;
extern CRITICAL_SECTION g_csStatusBlinkRun;
extern std::atomic<int> g_bRaidSnoozeReload;
extern CRITICAL_SECTION g_csRaidSnoozeReload;
extern std::atomic<int> g_bSysSnoozeReload;
extern CRITICAL_SECTION g_csSysSnoozeReload;
// Changed only by atomic exchange (UpdateErrorPresent); other threads read it with ErrorPresent.
extern LONG g_lErrorPresent;
extern std::atomic<int> g_nRaidSnoozeTime;
extern std::atomic<int> g_nRaidSnoozeType;
extern std::atomic<int> g_nSysSnoozeTime;
extern std::atomic<int> g_nSysSnoozeType;
extern int g_nCheckLogInterval;
extern std::int64_t g_tSmartFailDeadline;
// Per bay: its SMART read failure is armed under the deadline and not yet reported by it.
extern bool g_abSmartFailArmed[2];
// Set once the disk step has said that it lists the drives without the WMI tool; used only by
// the monitoring cycle's thread.
extern bool g_bListedWithoutToolReported;
extern LastStatusCodes LastStatus;

// Gives every variable its initial value and initialises the locks; called once when the
// service object is built, before any other thread of the service runs.
void InitializeIndicatorState();
// Deletes the locks; called by the service's clean-up, after every indicator thread ended.
void DeleteIndicatorLocks();

// A flag read or written under its lock.
int ReadFlag(CRITICAL_SECTION &cs, const std::atomic<int> &flag);
void WriteFlag(CRITICAL_SECTION &cs, std::atomic<int> &flag, int value);

// g_lErrorPresent read atomically, as it may change on another thread meanwhile.
LONG ErrorPresent();
