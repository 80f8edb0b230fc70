#include "service/SvsBase.h"

#include <cstdio>
#include <cstring>

SvsBase *g_pService = nullptr;

namespace {

constexpr DWORD kStartPendingWaitHint = 5000;
constexpr DWORD kCtrlThreadWaitMs = 10000;
constexpr DWORD kFailedWaitPauseMs = 1000;
constexpr size_t kErrorMessageSize = 562;

// Control event indices, as the handler signals them.
enum CtrlIndex : int {
  kStopIndex = 0,
  kPauseIndex = 1,
  kContinueIndex = 2,
  kShutdownIndex = 3,
  kParamChangeIndex = 4,
  kDeviceEventIndex = 5,
  kHardwareProfileIndex = 6,
  kPowerEventIndex = 7,
  kPreShutdownIndex = 8,
};

bool IsPendingState(DWORD dwState) {
  return dwState != SERVICE_STOPPED && dwState != SERVICE_RUNNING && dwState != SERVICE_PAUSED;
}

// Copies at most cchMax - 1 characters and always terminates.
void CopyBounded(char *pszDest, size_t cchMax, const char *pszSource) {
  std::snprintf(pszDest, cchMax, "%s", pszSource != nullptr ? pszSource : "");
}

// A message cut at the end of its buffer may end in the first byte of a double-byte
// character; drop such a byte so the event text stays well-formed.
void DropTrailingLeadByte(char *pszText) {
  size_t cch = std::strlen(pszText);
  size_t i = 0;
  while (i < cch) {
    if (IsDBCSLeadByte(static_cast<BYTE>(pszText[i]))) {
      if (i + 1 >= cch) {
        pszText[i] = '\0';
        return;
      }
      i += 2;
    } else {
      ++i;
    }
  }
}

}  // namespace

SvsBase::SvsBase(const char *pszServiceName, const char *pszDisplayName, DWORD dwServiceType)
    : m_hStatus(nullptr),
      m_hDevNotify(nullptr),
      m_dwCurrentState(0),
      m_dwControlsAccepted(0),
      m_dwCheckPoint(0),
      m_dwWaitHint(0),
      m_dwLastControl(0),
      m_dwDeviceEventType(0),
      m_dwPowerEventType(0),
      m_hCtrlEvents{},
      m_hCtrlThread(nullptr),
      m_dwServiceType(dwServiceType),
      m_hCtrlEndEvent(nullptr) {
  CopyBounded(m_szServiceName, sizeof m_szServiceName, pszServiceName);
  CopyBounded(m_szDisplayName, sizeof m_szDisplayName, pszDisplayName);
  InitializeCriticalSection(&m_cs);
}

SvsBase::~SvsBase() {
  DeleteCriticalSection(&m_cs);
}

void WINAPI SvsBase::ServiceMainEntry(DWORD dwArgc, LPSTR *lpszArgv) {
  g_pService->ServiceMain(dwArgc, lpszArgv);
}

DWORD WINAPI SvsBase::HandlerExEntry(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData,
                                     LPVOID lpContext) {
  (void)lpEventData;
  (void)lpContext;
  g_pService->CtrlHandler(dwControl, dwEventType);
  return NO_ERROR;
}

unsigned __stdcall SvsBase::CtrlThreadEntry(void *pArg) {
  (void)pArg;
  return g_pService->CtrlThreadLoop();
}

void SvsBase::ServiceMain(DWORD dwArgc, LPSTR *lpszArgv) {
  CreateCtrlEvents();
  RegisterHandlers();
  OnServiceArgs(dwArgc, lpszArgv);
  StartCtrlThread(CtrlThreadEntry);
  OnInit();
  Run();
  Cleanup();

  EnterCriticalSection(&m_cs);
  m_dwCurrentState = SERVICE_STOPPED;
  m_dwCheckPoint = 0;
  m_dwWaitHint = 0;
  m_dwControlsAccepted = 0;
  SERVICE_STATUS status = CurrentStatus();
  LeaveCriticalSection(&m_cs);
  if (!SetServiceStatus(m_hStatus, &status)) ReportError("SetServiceStatus", GetLastError());
}

BOOL SvsBase::RegisterHandlers() {
  m_hStatus = RegisterServiceCtrlHandlerExA(m_szServiceName, HandlerExEntry, nullptr);
  if (m_hStatus == nullptr) ReportError("RegisterServiceCtrlHandler", GetLastError());

  // Device-interface events of every class arrive as SERVICE_CONTROL_DEVICEEVENT.
  DEV_BROADCAST_DEVICEINTERFACE_A filter;
  static_assert(sizeof filter == 32, "the device-interface filter is 32 bytes");
  std::memset(&filter, 0, sizeof filter);
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  m_hDevNotify = RegisterDeviceNotificationA(
      m_hStatus, &filter, DEVICE_NOTIFY_SERVICE_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
  if (m_hDevNotify == nullptr) ReportError("RegisterDeviceNotification", GetLastError());

  SetStatus(SERVICE_START_PENDING, 1, kStartPendingWaitHint);
  return m_hStatus != nullptr;
}

SERVICE_STATUS SvsBase::CurrentStatus() const {
  SERVICE_STATUS status;
  status.dwServiceType = m_dwServiceType;
  status.dwCurrentState = m_dwCurrentState;
  status.dwControlsAccepted = m_dwControlsAccepted;
  status.dwWin32ExitCode = NO_ERROR;
  status.dwServiceSpecificExitCode = 0;
  status.dwCheckPoint = m_dwCheckPoint;
  status.dwWaitHint = m_dwWaitHint;
  return status;
}

void SvsBase::SetStatus(DWORD dwState, DWORD dwCheckPoint, DWORD dwWaitHint,
                        DWORD dwControlsAccepted) {
  if (!IsPendingState(dwState)) {
    dwCheckPoint = 0;
    dwWaitHint = 0;
  } else if (dwCheckPoint == 0 || dwWaitHint == 0) {
    ReportError("CSvsBase::SetStatus: Pending statuses require a hint and checkpoint", 0);
  }

  EnterCriticalSection(&m_cs);
  m_dwCurrentState = dwState;
  if (dwCheckPoint != kKeep) m_dwCheckPoint = dwCheckPoint;
  if (dwWaitHint != kKeep) m_dwWaitHint = dwWaitHint;
  if (dwControlsAccepted != kKeep) m_dwControlsAccepted = dwControlsAccepted;
  SERVICE_STATUS status = CurrentStatus();
  LeaveCriticalSection(&m_cs);

  if (!SetServiceStatus(m_hStatus, &status)) ReportError("SetServiceStatus", GetLastError());
}

DWORD SvsBase::CurrentState() {
  EnterCriticalSection(&m_cs);
  DWORD dwState = m_dwCurrentState;
  LeaveCriticalSection(&m_cs);
  return dwState;
}

void SvsBase::ReportCurrentStatus() {
  EnterCriticalSection(&m_cs);
  bool bReported = m_dwCurrentState != 0;
  SERVICE_STATUS status = CurrentStatus();
  LeaveCriticalSection(&m_cs);
  if (bReported && !SetServiceStatus(m_hStatus, &status))
    ReportError("SetServiceStatus", GetLastError());
}

void SvsBase::CtrlHandler(DWORD dwControl, DWORD dwEventType) {
  // A repeated control is dropped until another recorded control comes in between; user
  // controls always get through, and controls that are not recorded never match.
  if (dwControl == m_dwLastControl && !IsUserControl(dwControl)) return;

  // A control that cannot be handed to the control thread would be lost while the manager
  // takes it as delivered, and a stop repeated after it would be dropped: fatal, like every
  // failed call of the frame.
  auto signal = [this](int index) {
    if (!SetEvent(m_hCtrlEvents[index])) ReportError("SetEvent", GetLastError());
  };
  switch (dwControl) {
    case SERVICE_CONTROL_STOP:
      m_dwLastControl = dwControl;
      signal(kStopIndex);
      break;
    case SERVICE_CONTROL_PAUSE:
      m_dwLastControl = dwControl;
      signal(kPauseIndex);
      break;
    case SERVICE_CONTROL_CONTINUE:
      if (CurrentState() == SERVICE_RUNNING) return;
      m_dwLastControl = dwControl;
      signal(kContinueIndex);
      break;
    case SERVICE_CONTROL_SHUTDOWN:
      m_dwLastControl = dwControl;
      signal(kShutdownIndex);
      break;
    case SERVICE_CONTROL_PARAMCHANGE:
      signal(kParamChangeIndex);
      break;
    case SERVICE_CONTROL_DEVICEEVENT:
      m_dwDeviceEventType = dwEventType;
      signal(kDeviceEventIndex);
      break;
    case SERVICE_CONTROL_HARDWAREPROFILECHANGE:
      signal(kHardwareProfileIndex);
      break;
    case SERVICE_CONTROL_POWEREVENT:
      m_dwPowerEventType = dwEventType;
      signal(kPowerEventIndex);
      break;
    case SERVICE_CONTROL_PRESHUTDOWN:
      m_dwLastControl = dwControl;
      signal(kPreShutdownIndex);
      break;
    case SERVICE_CONTROL_INTERROGATE:
      ReportCurrentStatus();
      break;
    default:
      m_dwLastControl = dwControl;
      OnUserControl(dwControl);
      break;
  }
}

void SvsBase::StartCtrlThread(_beginthreadex_proc_type pfnThreadProc) {
  unsigned uThreadId = 0;
  m_hCtrlThread =
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, pfnThreadProc, nullptr, 0, &uThreadId));
  if (m_hCtrlThread == nullptr) ReportError("_beginthreadex", GetLastError());
}

void SvsBase::CreateCtrlEvents() {
  for (HANDLE &hEvent : m_hCtrlEvents) {
    hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (hEvent == nullptr) ReportError("CreateEvent", GetLastError());
  }
  m_hCtrlEndEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (m_hCtrlEndEvent == nullptr) ReportError("CreateEvent", GetLastError());
}

DWORD SvsBase::CtrlThreadLoop() {
  HANDLE handles[kCtrlEventCount + 1];
  for (int i = 0; i < kCtrlEventCount; ++i) handles[i] = m_hCtrlEvents[i];
  handles[kCtrlEventCount] = m_hCtrlEndEvent;

  for (;;) {
    DWORD dwWait = WaitForMultipleObjects(kCtrlEventCount + 1, handles, FALSE, INFINITE);
    // A wait that fails would fail again at once, and no stop could reach the service any
    // more: like every other failed call of the frame it ends the process, so the manager sees
    // the service die rather than a service that no longer answers.
    if (dwWait == WAIT_FAILED) ReportError("WaitForMultipleObjects", GetLastError());
    if (dwWait == WAIT_OBJECT_0 + kCtrlEventCount) return 0;  // Cleanup asked the thread to end
    if (dwWait >= WAIT_OBJECT_0 + kCtrlEventCount) continue;

    int index = static_cast<int>(dwWait - WAIT_OBJECT_0);
    switch (index) {
      case kStopIndex:
        OnStop();
        return 0;
      case kShutdownIndex:
        OnShutdown();
        return 0;
      case kPauseIndex:
        OnPause();
        break;
      case kContinueIndex:
        OnContinue();
        break;
      case kParamChangeIndex:
        OnParamChange();
        break;
      case kDeviceEventIndex:
        OnDeviceEvent(m_dwDeviceEventType);
        break;
      case kHardwareProfileIndex:
        OnHardwareProfileChange();
        break;
      case kPowerEventIndex:
        OnPowerEvent(m_dwPowerEventType);
        break;
      case kPreShutdownIndex:
        OnPreShutdown();
        break;
    }
    ResetEvent(m_hCtrlEvents[index]);
  }
}

void SvsBase::Cleanup() {
  bool bThreadEnded = true;
  if (m_hCtrlThread != nullptr) {
    int nFailedWaits = 0;
    auto threadEnded = [&] {
      DWORD dwWait;
      while ((dwWait = WaitForSingleObject(m_hCtrlThread, kCtrlThreadWaitMs)) == WAIT_FAILED)
        PauseAfterFailedWait("WaitForSingleObject", nFailedWaits);
      return dwWait == WAIT_OBJECT_0;
    };
    if (!threadEnded()) {
      // The thread still waits for a control that will not come: ask it to end before its
      // events are closed.
      if (!SetEvent(m_hCtrlEndEvent)) ReportError("SetEvent", GetLastError());
      bThreadEnded = threadEnded();
    }
    CloseHandle(m_hCtrlThread);
  }
  // A thread that has not ended even then is busy in an operation; its events stay open
  // rather than vanish under it, and go with the process.
  if (bThreadEnded) {
    for (HANDLE hEvent : m_hCtrlEvents)
      if (hEvent != nullptr) CloseHandle(hEvent);
    if (m_hCtrlEndEvent != nullptr) CloseHandle(m_hCtrlEndEvent);
  }
  if (m_hDevNotify != nullptr) UnregisterDeviceNotification(m_hDevNotify);
}

void SvsBase::PauseAfterFailedWait(const char *pszCall, int &nFailuresInRow) {
  DWORD dwError = GetLastError();
  if (++nFailuresInRow > 1) ReportError(pszCall, dwError);
  Sleep(kFailedWaitPauseMs);
}

void SvsBase::ReportError(const char *pszText, DWORD dwError) {
  char szMessage[kErrorMessageSize];
  if (dwError != 0) {
    char *pszSystemText = nullptr;
    DWORD cch = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                               dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<LPSTR>(&pszSystemText), 0, nullptr);
    if (cch != 0 && pszSystemText != nullptr)
      std::snprintf(szMessage, sizeof szMessage, "%s failed: %s", pszText, pszSystemText);
    else
      std::snprintf(szMessage, sizeof szMessage, "%s failed: Unknown error %lu", pszText,
                    static_cast<unsigned long>(dwError));
    if (pszSystemText != nullptr) LocalFree(pszSystemText);
  } else {
    std::snprintf(szMessage, sizeof szMessage, "%s\n", pszText);
  }
  DropTrailingLeadByte(szMessage);

  HANDLE hSource = RegisterEventSourceA(nullptr, m_szDisplayName);
  if (hSource != nullptr) {
    LPCSTR strings[1] = {szMessage};
    ReportEventA(hSource, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(hSource);
  }
  // Fail fast: no clean-up and no handler of the program runs, and no stop is reported. The
  // caller never goes on after a fatal failure: a process that cannot be terminated ends all
  // the same.
  TerminateProcess(GetCurrentProcess(), dwError);
  ExitProcess(dwError);
}
