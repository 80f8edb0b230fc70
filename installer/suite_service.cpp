#include "installer/suite_service.h"

#include "installer/DebugOutput.h"
#include "platform/HandleGuard.h"

namespace {

constexpr WCHAR kServiceName[] = TEXT("QORAService");
constexpr DWORD kStopRights = DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS;
constexpr DWORD kStopPollMs = 1000;
// Time the service's process gets to go after it reported STOPPED, and the dialog closer to act.
constexpr DWORD kAfterStopMs = 3000;
constexpr DWORD kMinPollMs = 1000;
constexpr DWORD kMaxPollMs = 10000;
constexpr DWORD kDialogPollMs = 500;

// ---- Stopping ------------------------------------------------------------------------------

// Polls once a second while the service reports STOP_PENDING, one "." per poll, for at most
// kStopWaitLimitMs; returns the state last read.
DWORD WaitForStop(SC_HANDLE hService, DWORD dwState) {
  DebugPrint(TEXT("Stopping QORAService"));
  const DWORD dwStart = GetTickCount();
  for (;;) {
    Sleep(kStopPollMs);
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(hService, &status)) break;
    dwState = status.dwCurrentState;
    if (dwState != SERVICE_STOP_PENDING) break;
    // Unsigned: the elapsed time is right across the wrap of the tick count.
    if (GetTickCount() - dwStart >= kStopWaitLimitMs) break;
    DebugPrint(TEXT("."));
  }
  return dwState;
}

// Sends the stop request and waits for its outcome.
int StopRunningService(SC_HANDLE hService) {
  SERVICE_STATUS status{};
  if (!ControlService(hService, SERVICE_CONTROL_STOP, &status))
    return GetLastError() == ERROR_SERVICE_NOT_ACTIVE ? kStopDone : kStopRequestRefused;
  DWORD dwState = WaitForStop(hService, status.dwCurrentState);
  Sleep(kAfterStopMs);
  if (dwState == SERVICE_STOPPED) {
    DebugPrint(TEXT("\nQORAService is stopped.\n"));
    return kStopDone;
  }
  DebugPrint(TEXT("\nQORAService failed to stop.\n"));
  return kStopNotStopped;
}

// ---- Starting ------------------------------------------------------------------------------

bool QueryStatus(SC_HANDLE hService, SERVICE_STATUS_PROCESS &status) {
  DWORD cbNeeded = 0;
  return QueryServiceStatusEx(hService, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE *>(&status),
                              sizeof status, &cbNeeded) != FALSE;
}

// One tenth of the wait hint, within 1 to 10 seconds.
DWORD PollInterval(DWORD dwWaitHint) {
  DWORD dwWait = dwWaitHint / 10;
  if (dwWait < kMinPollMs) return kMinPollMs;
  if (dwWait > kMaxPollMs) return kMaxPollMs;
  return dwWait;
}

// The progress of a pending state: the tick count when the check point last grew, and to what.
struct Progress {
  DWORD dwSince;
  DWORD dwCheckPoint;
};

Progress ProgressFrom(const SERVICE_STATUS_PROCESS &status) {
  return {GetTickCount(), status.dwCheckPoint};
}

// Whether the service is still making progress: its check point has grown, or it grew no longer
// ago than the service's wait hint.
bool MakingProgress(Progress &progress, const SERVICE_STATUS_PROCESS &status) {
  if (status.dwCheckPoint > progress.dwCheckPoint) {
    progress = ProgressFrom(status);
    return true;
  }
  // Unsigned: the elapsed time is right across the wrap of the tick count.
  return GetTickCount() - progress.dwSince <= status.dwWaitHint;
}

// Waits while a stop is pending; a service that stops meanwhile ends the wait at once.
int WaitForPendingStop(SC_HANDLE hService, SERVICE_STATUS_PROCESS &status) {
  Progress progress = ProgressFrom(status);
  while (status.dwCurrentState == SERVICE_STOP_PENDING) {
    Sleep(PollInterval(status.dwWaitHint));
    if (!QueryStatus(hService, status)) {
      DebugPrint(TEXT("QueryServiceStatusEx failed (%d)\n"), GetLastError());
      return kStartStopQueryFailed;
    }
    if (status.dwCurrentState == SERVICE_STOP_PENDING && !MakingProgress(progress, status)) {
      DebugPrint(TEXT("Timeout waiting for service to stop\n"));
      return kStartStopTimeout;
    }
  }
  return kStartDone;
}

// Waits while the start is pending; ends quietly when the service stops making progress or a
// query fails.
void WaitForPendingStart(SC_HANDLE hService, SERVICE_STATUS_PROCESS &status) {
  Progress progress = ProgressFrom(status);
  while (status.dwCurrentState == SERVICE_START_PENDING) {
    Sleep(PollInterval(status.dwWaitHint));
    if (!QueryStatus(hService, status)) {
      DebugPrint(TEXT("QueryServiceStatusEx failed (%d)\n"), GetLastError());
      return;
    }
    if (!MakingProgress(progress, status)) return;
  }
}

int ReportStartOutcome(const SERVICE_STATUS_PROCESS &status) {
  if (status.dwCurrentState == SERVICE_RUNNING) {
    DebugPrint(TEXT("Service started successfully.\n"));
    return kStartDone;
  }
  DebugPrint(TEXT("Service not started. \n"));
  DebugPrint(TEXT("  Current State: %d\n"), status.dwCurrentState);
  DebugPrint(TEXT("  Exit Code: %d\n"), status.dwWin32ExitCode);
  DebugPrint(TEXT("  Check Point: %d\n"), status.dwCheckPoint);
  DebugPrint(TEXT("  Wait Hint: %d\n"), status.dwWaitHint);
  return kStartNotRunning;
}

}  // namespace

int StopSuiteService(bool bDelete) {
  ScHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (hManager == nullptr) {
    DebugPrint(TEXT("OpenSCManager failed w/err 0x%08lx\n"), GetLastError());
    return kStopNoManager;
  }
  ScHandle hService(OpenServiceW(hManager, kServiceName, kStopRights));
  if (hService == nullptr) {
    DWORD dwError = GetLastError();
    DebugPrint(TEXT("OpenService failed w/err 0x%08lx\n"), dwError);
    if (dwError != ERROR_SERVICE_DOES_NOT_EXIST) return kStopNotOpened;
    DebugPrint(TEXT("The QORAService service is not exist.\n"));
    return kStopDone;
  }
  // The closer runs on after this returns; only its handle goes.
  KernelHandle hCloser(CreateThread(nullptr, 0, DialogCloser, nullptr, 0, nullptr));

  int nResult = StopRunningService(hService);
  if (nResult == kStopRequestRefused || !bDelete) return nResult;
  if (!DeleteService(hService)) {
    DebugPrint(TEXT("DeleteService failed w/err 0x%08lx\n"), GetLastError());
    return kStopDeleteRefused;
  }
  DebugPrint(TEXT("QORAService is removed.\n"));
  return nResult;
}

int StartSuiteService() {
  ScHandle hManager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (hManager == nullptr) {
    DebugPrint(TEXT("OpenSCManager failed (%d)\n"), GetLastError());
    return kStartNoManager;
  }
  ScHandle hService(OpenServiceW(hManager, kServiceName, SERVICE_ALL_ACCESS));
  if (hService == nullptr) {
    DebugPrint(TEXT("OpenService failed (%d)\n"), GetLastError());
    return kStartNotOpened;
  }
  SERVICE_STATUS_PROCESS status{};
  if (!QueryStatus(hService, status)) {
    DebugPrint(TEXT("QueryServiceStatusEx failed (%d)\n"), GetLastError());
    return kStartFirstQueryFailed;
  }
  if (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING) {
    DebugPrint(TEXT("Cannot start the service because it is already running\n"));
    return kStartNotStopped;
  }
  if (int nResult = WaitForPendingStop(hService, status)) return nResult;
  if (!StartServiceW(hService, 0, nullptr)) {
    DebugPrint(TEXT("StartService failed (%d)\n"), GetLastError());
    return kStartRefused;
  }
  DebugPrint(TEXT("Service start pending...\n"));
  if (!QueryStatus(hService, status)) {
    DebugPrint(TEXT("QueryServiceStatusEx failed (%d)\n"), GetLastError());
    return kStartQueryFailed;
  }
  WaitForPendingStart(hService, status);
  return ReportStartOutcome(status);
}

DWORD WINAPI DialogCloser(LPVOID) {
  HWND hDialog = nullptr;
  do {
    hDialog = FindWindowW(TEXT("#32770"), TEXT("Microsoft Windows"));
    Sleep(kDialogPollMs);
  } while (hDialog == nullptr);
  PostMessageW(hDialog, WM_CLOSE, 0, 0);
  return 0;
}
