#include "monitor/CQuilletCtrl.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "monitor/Brackle.h"
#include "monitor/IndicatorState.h"
#include "monitor/NASBeep.h"
#include "monitor/config.h"
#include "monitor/indicator_threads.h"
#include "monitor/snooze.h"
#include "service/EventLogWriter.h"
#include "service/RegHandle.h"
#include "service/ServiceIdentity.h"

namespace {

using quillet::kEventSource;
constexpr DWORD kStopWaitHint = 6000;
constexpr DWORD kRunExitPollMs = 5000;
constexpr int kBoardAttempts = 6;
constexpr DWORD kBoardRetryMs = 10000;
constexpr DWORD kSuspendPollMs = 500;

constexpr DWORD kBoardReadyId = 0x400003E8;
constexpr DWORD kBoardTimeoutId = 0x800007D0;
constexpr DWORD kBoardFailedId = 0xC0000BB8;
constexpr DWORD kBoardResumedId = 0x400003E9;
constexpr DWORD kBoardResumeFailedId = 0xC0000BB9;

void CloseAndClear(HANDLE &handle) {
  if (handle != nullptr) {
    CloseHandle(handle);
    handle = nullptr;
  }
}

// The event text for a failed BRK_Initialize.
std::string BoardFailureText(int nResult) {
  if (nResult == BRK_ERR_ALREADY_INITIALIZED)
    return "LEDドライバの初期化に失敗しました。既に初期化されています。";
  if (nResult == BRK_ERR_NOT_SUPPORTED)
    return "LEDドライバの初期化に失敗しました。ボードがサポートされておりません。";
  char szText[128];
  std::snprintf(szText, sizeof szText, "LEDドライバの初期化に失敗しました。 Error = %d", nResult);
  return szText;
}

int InitializeBoard() {
  BrkInitParams params;
  std::memset(&params, 0, sizeof params);
  return BRK_Initialize(&params);
}

void DarkenAllLeds() {
  BRKGpio_Write(BRK_PIN_RAID_LED_A, BRK_LEVEL_DARK);
  BRKGpio_Write(BRK_PIN_RAID_LED_B, BRK_LEVEL_DARK);
  BRKGpio_Write(BRK_PIN_STATUS_LED, BRK_LEVEL_DARK);
}

// The run flag, its lock and its procedure, per indicator thread.
struct IndicatorSlot {
  CRITICAL_SECTION *pLock;
  std::atomic<int> *pRun;
  LPTHREAD_START_ROUTINE pfnProc;
};

IndicatorSlot SlotOf(CQuilletCtrl::IndicatorThread thread) {
  switch (thread) {
    case CQuilletCtrl::kRaidAlarm:
      return {&g_csRaidAlarmRun, &g_bRaidAlarmRun, RaidAlarmThread};
    case CQuilletCtrl::kSysAlarm:
      return {&g_csSysAlarmRun, &g_bSysAlarmRun, SystemAlarmThread};
    case CQuilletCtrl::kRaidAltBlink:
      return {&g_csRaidAltBlinkRun, &g_bRaidAltBlinkRun, RaidAltBlinkThread};
    case CQuilletCtrl::kRaidBlink:
      return {&g_csRaidBlinkRun, &g_bRaidBlinkRun, RaidBlinkThread};
    case CQuilletCtrl::kStatusBlink:
    default:
      return {&g_csStatusBlinkRun, &g_bStatusBlinkRun, StatusBlinkThread};
  }
}

}  // namespace

CQuilletCtrl::CQuilletCtrl()
    : SvsBase(quillet::kServiceName, quillet::kDisplayName, SERVICE_WIN32_OWN_PROCESS),
      m_hRunExitEvent(nullptr),
      m_hStopEvent(nullptr),
      m_hParaChgEvent(nullptr),
      m_hNasCallEvent(nullptr),
      m_hSuspendEvent(nullptr),
      m_hRaidAlarmThread(nullptr),
      m_hSysAlarmThread(nullptr),
      m_hRaidAltBlinkThread(nullptr),
      m_hRaidBlinkThread(nullptr),
      m_hStatusBlinkThread(nullptr),
      m_hInstanceMutex(nullptr),
      m_dwCheckIntervalMs(quillet::CheckIntervalMs(quillet::kMissing)) {
  g_pService = this;
  InitializeIndicatorState();
  NASBeep::InitializeAlarmLock();
}

HANDLE CQuilletCtrl::CreateServiceEvent(const char *pszName, const char *pszErrorText) {
  HANDLE hEvent = CreateEventA(nullptr, TRUE, FALSE, pszName);
  if (hEvent == nullptr) ReportError(pszErrorText, GetLastError());
  return hEvent;
}

void CQuilletCtrl::OnInit() {
  m_hRunExitEvent = CreateServiceEvent(nullptr, "CreateEvent Error for RunExitEvent");
  m_hStopEvent = CreateServiceEvent(nullptr, "CreateEvent Error for StopEvent");
  m_hParaChgEvent = CreateServiceEvent(nullptr, "CreateEvent Error for ParaChgEvent");
  m_hNasCallEvent = CreateServiceEvent("NasCallEvent", "CreateEvent Error for NasCallEvent");
  m_hSuspendEvent = CreateServiceEvent(nullptr, "CreateEvent Error for SuspendEvent");
  // The mutex only marks that the service runs; nobody waits on it, so a failure is ignored.
  m_hInstanceMutex = CreateMutexA(nullptr, FALSE, "Quilletmutex");
}

void CQuilletCtrl::StartBoard() {
  for (int nAttempt = 0; nAttempt < kBoardAttempts; ++nAttempt) {
    // A resume on the control thread may have brought the board up during the pause; another
    // attempt would only be refused as already initialized.
    if (g_bBoardReady == 1) return;
    int nResult = InitializeBoard();
    if (nResult == BRK_SUCCESS) {
      WriteEventLog(kEventSource, EVENTLOG_INFORMATION_TYPE, kBoardReadyId,
                    "LEDドライバを初期化しました。");
      g_bBoardReady = 1;
      return;
    }
    WriteEventLog(kEventSource, EVENTLOG_ERROR_TYPE, kBoardFailedId,
                  BoardFailureText(nResult).c_str());
    Sleep(kBoardRetryMs);
  }
  // Without the board the service runs on: registry values, events and alarms, no LEDs.
  WriteEventLog(kEventSource, EVENTLOG_WARNING_TYPE, kBoardTimeoutId,
                "LEDドライバの初期化がタイムアウトしました。");
}

void CQuilletCtrl::Run() {
  SetStatus(SERVICE_RUNNING, 0, 0, kRunningControls);
  StartBoard();
  MonitorCycle();

  // The intervals are read after the first cycle, which runs with the initial values.
  RegHandle config(HKEY_LOCAL_MACHINE, quillet::kConfigKey);
  m_dwCheckIntervalMs = quillet::CheckIntervalMs(config.GetDword("CheckInterval"));
  g_nCheckLogInterval =
      quillet::CheckLogInterval(config.GetDword("CheckLogInterval"), g_nCheckLogInterval);

  NASBeep beep;
  // When several are set, the first in this order wins.
  HANDLE events[] = {m_hStopEvent, m_hParaChgEvent, m_hNasCallEvent, m_hSuspendEvent};
  int nFailedWaits = 0;
  bool bRunning = true;
  while (bRunning) {
    // Every wait starts a full interval: after any wake-up the next periodic cycle comes
    // CheckInterval seconds later.
    DWORD dwWait = WaitForMultipleObjects(4, events, FALSE, m_dwCheckIntervalMs);
    if (dwWait == WAIT_FAILED) {
      PauseAfterFailedWait("WaitForMultipleObjects", nFailedWaits);
      continue;
    }
    nFailedWaits = 0;
    // An event that stays set after its request was served would serve it again and again
    // (cycles back to back, an alarm that never ends): fatal.
    switch (dwWait) {
      case WAIT_OBJECT_0:
        bRunning = false;
        break;
      case WAIT_OBJECT_0 + 1:
        MonitorCycle();
        if (!ResetEvent(m_hParaChgEvent)) ReportError("ResetEvent", GetLastError());
        break;
      case WAIT_OBJECT_0 + 2:
        beep.PlayRaidAlarm();
        if (!ResetEvent(m_hNasCallEvent)) ReportError("ResetEvent", GetLastError());
        break;
      case WAIT_OBJECT_0 + 3:
        if (StopRequestedWhileSuspended()) bRunning = false;
        break;
      case WAIT_TIMEOUT:
        MonitorCycle();
        break;
      default:
        break;
    }
  }

  for (IndicatorThread thread : {kRaidAlarm, kSysAlarm, kRaidAltBlink, kRaidBlink, kStatusBlink})
    StopIndicatorIfRunning(thread, IsIndicatorRunning(thread));
  if (g_bBoardReady == 1) DarkenAllLeds();
  // OnStop waits for this event to let the stop complete; without it the stop would hang.
  if (!SetEvent(m_hRunExitEvent)) ReportError("SetEvent", GetLastError());
}

bool CQuilletCtrl::IsSuspended() {
  return ReadFlag(g_csSuspended, g_bSuspended) == 1;
}

bool CQuilletCtrl::StopRequestedWhileSuspended() {
  // Nothing is evaluated while suspended. A stop request is honoured meanwhile, so that a
  // suspend that never ends cannot hold the service control manager.
  int nFailedWaits = 0;
  for (;;) {
    DWORD dwWait = WaitForSingleObject(m_hSuspendEvent, 0);
    if (dwWait == WAIT_TIMEOUT) return false;  // resumed
    if (dwWait == WAIT_OBJECT_0) dwWait = WaitForSingleObject(m_hStopEvent, kSuspendPollMs);
    if (dwWait == WAIT_OBJECT_0) return true;
    if (dwWait == WAIT_FAILED)
      PauseAfterFailedWait("WaitForSingleObject", nFailedWaits);
    else
      nFailedWaits = 0;
  }
}

// The control thread passes requests to Run through events; a request that cannot be passed
// is lost for good: fatal, as in the frame.
void CQuilletCtrl::OnParamChange() {
  if (!SetEvent(m_hParaChgEvent)) ReportError("SetEvent", GetLastError());
}

void CQuilletCtrl::OnPowerEvent(DWORD dwEventType) {
  if (dwEventType == PBT_APMSUSPEND) {
    if (!SetEvent(m_hSuspendEvent)) ReportError("SetEvent", GetLastError());
    WriteFlag(g_csSuspended, g_bSuspended, 1);
    BRK_UnInitialize();
    g_bBoardReady = 0;
    return;
  }
  // A wake that nobody attended brings only the automatic resume; one a person caused brings
  // both. Either ends the suspension, once.
  if (dwEventType != PBT_APMRESUMESUSPEND && dwEventType != PBT_APMRESUMEAUTOMATIC) return;
  if (!IsSuspended()) return;
  int nResult = InitializeBoard();
  if (nResult == BRK_SUCCESS) {
    WriteEventLog(kEventSource, EVENTLOG_INFORMATION_TYPE, kBoardResumedId,
                  "LEDドライバを初期化しました。");
    g_bBoardReady = 1;
  } else {
    WriteEventLog(kEventSource, EVENTLOG_ERROR_TYPE, kBoardResumeFailedId,
                  BoardFailureText(nResult).c_str());
  }
  // An event left set would keep Run in its suspended wait for good.
  if (!ResetEvent(m_hSuspendEvent)) ReportError("ResetEvent", GetLastError());
  WriteFlag(g_csSuspended, g_bSuspended, 0);
}

void CQuilletCtrl::MonitorCycle() {
  RegHandle config(HKEY_LOCAL_MACHINE, quillet::kConfigKey);
  DWORD dwSnoozeTime = config.GetDword("LedSnoozeTime");
  DWORD dwSnoozeType = config.GetDword("LedSnoozeType");
  quillet::SnoozeChange change = quillet::UpdateSnoozeCopies(dwSnoozeTime, dwSnoozeType);
  UpdateRaidIndicators(change.bRaid);
  EvaluateHealth(change.bSystem, dwSnoozeType, dwSnoozeTime);
}

int CQuilletCtrl::IsIndicatorRunning(IndicatorThread thread) {
  IndicatorSlot slot = SlotOf(thread);
  return ReadFlag(*slot.pLock, *slot.pRun);
}

HANDLE &CQuilletCtrl::IndicatorHandle(IndicatorThread thread) {
  switch (thread) {
    case kRaidAlarm:
      return m_hRaidAlarmThread;
    case kSysAlarm:
      return m_hSysAlarmThread;
    case kRaidAltBlink:
      return m_hRaidAltBlinkThread;
    case kRaidBlink:
      return m_hRaidBlinkThread;
    case kStatusBlink:
    default:
      return m_hStatusBlinkThread;
  }
}

void CQuilletCtrl::StartIndicatorThread(IndicatorThread thread) {
  IndicatorSlot slot = SlotOf(thread);
  WriteFlag(*slot.pLock, *slot.pRun, 1);
  HANDLE &hThread = IndicatorHandle(thread);
  hThread = CreateThread(nullptr, 0, slot.pfnProc, nullptr, 0, nullptr);
  // A thread that could not be created is not running: clear its flag so that a later cycle
  // tries again instead of taking the indicator for running forever.
  if (hThread == nullptr) WriteFlag(*slot.pLock, *slot.pRun, 0);
}

void CQuilletCtrl::StopIndicatorThread(IndicatorThread thread) {
  IndicatorSlot slot = SlotOf(thread);
  WriteFlag(*slot.pLock, *slot.pRun, 0);
  HANDLE &hThread = IndicatorHandle(thread);
  // The thread ends when it finishes its current pass. Until it has, its handle stays open and
  // the caller waits: a thread still running could undo with its last write the LED that the
  // caller sets next.
  int nFailedWaits = 0;
  while (WaitForSingleObject(hThread, INFINITE) == WAIT_FAILED)
    PauseAfterFailedWait("WaitForSingleObject", nFailedWaits);
  CloseAndClear(hThread);
}

void CQuilletCtrl::StartIndicatorIfStopped(IndicatorThread thread, int bRunningAtEntry) {
  if (bRunningAtEntry == 0) StartIndicatorThread(thread);
}

void CQuilletCtrl::StopIndicatorIfRunning(IndicatorThread thread, int bRunningAtEntry) {
  if (bRunningAtEntry == 1) StopIndicatorThread(thread);
}

void CQuilletCtrl::OnStop() {
  DWORD dwCheckPoint = 1;
  SetStatus(SERVICE_STOP_PENDING, dwCheckPoint, kStopWaitHint);
  if (!SetEvent(m_hStopEvent)) ReportError("SetEvent", GetLastError());
  // Keep the manager informed while Run winds down: a further checkpoint every 5 s.
  while (WaitForSingleObject(m_hRunExitEvent, kRunExitPollMs) == WAIT_TIMEOUT)
    SetStatus(SERVICE_STOP_PENDING, ++dwCheckPoint, kStopWaitHint);
}

void CQuilletCtrl::Cleanup() {
  SvsBase::Cleanup();
  CloseAndClear(m_hRunExitEvent);
  CloseAndClear(m_hStopEvent);
  CloseAndClear(m_hParaChgEvent);
  CloseAndClear(m_hNasCallEvent);
  CloseAndClear(m_hSuspendEvent);
  CloseAndClear(m_hInstanceMutex);
  DeleteIndicatorLocks();
  BRK_UnInitialize();
  g_bBoardReady = 0;
}
