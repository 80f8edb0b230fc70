// The suite's Windows service "QORAService": stopped (and deleted) before the installer touches
// any file, started again at the end of Install and Update. Messages go through DebugPrint.
#pragma once

#include "platform/win32.h"

// Results of StopSuiteService.
enum StopResult : int {
  kStopDone = 0,            // stopped, or not there
  kStopNoManager = 2,       // no connection to the service control manager
  kStopNotOpened = 3,       // the service could not be opened
  kStopNotStopped = 4,      // the service did not reach the stopped state
  kStopDeleteRefused = 5,   // the deletion was refused
  kStopRequestRefused = 7,  // the stop request was refused
};

// Results of StartSuiteService.
enum StartResult : int {
  kStartDone = 0,              // running
  kStartNoManager = 1,         // no connection to the service control manager
  kStartNotOpened = 2,         // the service could not be opened
  kStartFirstQueryFailed = 3,  // the first status query failed
  kStartNotStopped = 4,        // neither stopped nor stopping
  kStartStopQueryFailed = 6,   // a status query failed while waiting for a stop
  kStartStopTimeout = 7,       // the pending stop made no progress within its wait hint
  kStartRefused = 8,           // the start request was refused
  kStartQueryFailed = 9,       // the status query after the start failed
  kStartNotRunning = 10,       // not running after the wait
};

// The stop wait gives up after this long in STOP_PENDING, and counts as a failure to stop.
constexpr DWORD kStopWaitLimitMs = 120000;

// Stops the service, waiting while it reports STOP_PENDING, and with `bDelete` marks it for
// deletion afterwards (also when it failed to stop). Starts a DialogCloser thread first.
int StopSuiteService(bool bDelete);

// Waits for a pending stop, starts the service and waits while it reports START_PENDING.
int StartSuiteService();

// Thread body: waits for a top-level "#32770" dialog titled "Microsoft Windows", looking every
// 500 ms, and posts it one WM_CLOSE. Nobody tells it to stop: it ends with the process.
DWORD WINAPI DialogCloser(LPVOID lpParameter);
