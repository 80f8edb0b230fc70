// The generic frame of a Windows service: identity, status reports to the service control
// manager, the control handler, and a control thread that turns controls into calls of the
// overridable operations. A concrete service derives from it and supplies Run and OnStop.
#pragma once

#include <atomic>

#include "platform/win32.h"

class SvsBase {
 public:
  // The last three arguments of SetStatus take this value when the caller leaves them out:
  // the stored field stays as it was.
  static constexpr DWORD kKeep = 0xFFFFFFFF;

  SvsBase(const char *pszServiceName, const char *pszDisplayName, DWORD dwServiceType);
  SvsBase(const SvsBase &) = delete;
  SvsBase &operator=(const SvsBase &) = delete;

  // Virtual operations, in slot order.
  virtual ~SvsBase();
  virtual void StartCtrlThread(_beginthreadex_proc_type pfnThreadProc);
  virtual DWORD CtrlThreadLoop();
  virtual void CreateCtrlEvents();
  virtual void OnInit() {}
  virtual void Cleanup();
  virtual void OnServiceArgs(DWORD dwArgc, LPSTR *lpszArgv) {
    (void)dwArgc;
    (void)lpszArgv;
  }
  virtual void OnPause() {}
  virtual void OnContinue() {}
  virtual void OnShutdown() {}
  virtual void OnPreShutdown() {}
  virtual void OnParamChange() {}
  virtual void OnDeviceEvent(DWORD dwEventType) { (void)dwEventType; }
  virtual void OnHardwareProfileChange() {}
  virtual void OnPowerEvent(DWORD dwEventType) { (void)dwEventType; }
  virtual void OnUserControl(DWORD dwControl) { (void)dwControl; }
  virtual void Run() = 0;
  virtual void OnStop() = 0;

  // The entry points given to the dispatcher, the service control manager and the runtime's
  // thread start; they reach the one service object through g_pService.
  static void WINAPI ServiceMainEntry(DWORD dwArgc, LPSTR *lpszArgv);
  static DWORD WINAPI HandlerExEntry(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData,
                                     LPVOID lpContext);
  static unsigned __stdcall CtrlThreadEntry(void *pArg);

  void ServiceMain(DWORD dwArgc, LPSTR *lpszArgv);
  void CtrlHandler(DWORD dwControl, DWORD dwEventType);
  void SetStatus(DWORD dwState, DWORD dwCheckPoint = kKeep, DWORD dwWaitHint = kKeep,
                 DWORD dwControlsAccepted = kKeep);
  BOOL RegisterHandlers();
  // Fail-fast report of a failed system call: one error event under the display name, then
  // the process ends at once with the error code as its exit status.
  void ReportError(const char *pszText, DWORD dwError);

 protected:
  static constexpr int kCtrlEventCount = 9;

  SERVICE_STATUS CurrentStatus() const;  // caller holds m_cs
  DWORD CurrentState();
  // Re-reports the stored status as one snapshot taken under m_cs, so a report made on another
  // thread meanwhile is never overwritten with a stale state. Before the first report there is
  // nothing to repeat (state 0 is no state the manager accepts).
  void ReportCurrentStatus();
  static bool IsUserControl(DWORD dwControl) { return dwControl >= 128 && dwControl <= 255; }
  // Called right after a wait that failed, with the caller's count of failures in a row. The
  // first is met with a pause, after which the caller waits again; a second in a row means the
  // handles are unusable and the service could no longer tell when a stop comes or its work
  // ends: fatal, like every failed call of the frame.
  void PauseAfterFailedWait(const char *pszCall, int &nFailuresInRow);

  CRITICAL_SECTION m_cs;
  SERVICE_STATUS_HANDLE m_hStatus;
  HDEVNOTIFY m_hDevNotify;
  DWORD m_dwCurrentState;
  DWORD m_dwControlsAccepted;
  DWORD m_dwCheckPoint;
  DWORD m_dwWaitHint;
  // Written by the handler on the dispatcher's thread; the event types are read by the control
  // thread.
  std::atomic<DWORD> m_dwLastControl;
  std::atomic<DWORD> m_dwDeviceEventType;
  std::atomic<DWORD> m_dwPowerEventType;
  HANDLE m_hCtrlEvents[kCtrlEventCount];
  HANDLE m_hCtrlThread;
  char m_szServiceName[257];
  char m_szDisplayName[257];
  DWORD m_dwServiceType;
  // Asks the control thread to end; set by Cleanup when the thread has not ended on its own,
  // so that the control events are never closed under a thread still waiting on them.
  HANDLE m_hCtrlEndEvent;
};

// The process's one service object.
extern SvsBase *g_pService;
