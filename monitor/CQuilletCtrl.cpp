#include "monitor/CQuilletCtrl.h"

#include "service/ServiceIdentity.h"

namespace {

constexpr DWORD kStopWaitHint = 6000;
constexpr DWORD kRunExitPollMs = 5000;

void CloseAndClear(HANDLE &handle) {
  if (handle != nullptr) {
    CloseHandle(handle);
    handle = nullptr;
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
      m_hInstanceMutex(nullptr) {
  g_pService = this;
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

void CQuilletCtrl::OnParamChange() {
  SetEvent(m_hParaChgEvent);
}

void CQuilletCtrl::OnPowerEvent(DWORD dwEventType) {
  (void)dwEventType;
}

void CQuilletCtrl::Run() {
  SetStatus(SERVICE_RUNNING, 0, 0, kRunningControls);
  WaitForSingleObject(m_hStopEvent, INFINITE);
  SetEvent(m_hRunExitEvent);
}

void CQuilletCtrl::OnStop() {
  DWORD dwCheckPoint = 1;
  SetStatus(SERVICE_STOP_PENDING, dwCheckPoint, kStopWaitHint);
  SetEvent(m_hStopEvent);
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
}
