// The service class of Quillet: the service's own events and mutex, the board start-up, the
// monitoring loop with its wake-ups, suspend and resume, the indicator threads, and the stop
// half of the status protocol.
#pragma once

#include "platform/win32.h"
#include "service/SvsBase.h"

class CQuilletCtrl : public SvsBase {
 public:
  // Controls the running service accepts: stop, shutdown, parameter change, power event.
  static constexpr DWORD kRunningControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                            SERVICE_ACCEPT_PARAMCHANGE | SERVICE_ACCEPT_POWEREVENT;

  // The indicator threads, in the order Run stops them.
  enum IndicatorThread { kRaidAlarm, kSysAlarm, kRaidAltBlink, kRaidBlink, kStatusBlink };

  CQuilletCtrl();

  void OnInit() override;
  void Cleanup() override;
  void OnShutdown() override { OnStop(); }
  void OnParamChange() override;
  void OnPowerEvent(DWORD dwEventType) override;
  void Run() override;
  void OnStop() override;

 protected:
  HANDLE CreateServiceEvent(const char *pszName, const char *pszErrorText);
  // Brings up the board library: up to six attempts, 10 s apart.
  void StartBoard();
  bool IsSuspended();
  // Waits while the system is suspended; true when a stop was asked for meanwhile.
  bool StopRequestedWhileSuspended();
  void MonitorCycle();
  void UpdateRaidIndicators(bool bRaidSnoozeChanged);
  void EvaluateHealth(bool bSysSnoozeChanged, DWORD dwSnoozeType, DWORD dwSnoozeTime);
  // The status LED and the system alarm for a system status (the run flags as read at the
  // start of the cycle): lit and sounding for an error, blinking for a warning, dark and silent
  // for normal.
  void ShowSystemStatus(int nSystemStatus, int bSysAlarmRun, int bStatusBlinkRun);

  // Thread control: the run flag read under its lock; start and stop.
  int IsIndicatorRunning(IndicatorThread thread);
  void StartIndicatorThread(IndicatorThread thread);
  void StopIndicatorThread(IndicatorThread thread);
  void StartIndicatorIfStopped(IndicatorThread thread, int bRunningAtEntry);
  void StopIndicatorIfRunning(IndicatorThread thread, int bRunningAtEntry);
  HANDLE &IndicatorHandle(IndicatorThread thread);

  HANDLE m_hRunExitEvent;
  HANDLE m_hStopEvent;
  HANDLE m_hParaChgEvent;
  HANDLE m_hNasCallEvent;
  HANDLE m_hSuspendEvent;
  HANDLE m_hRaidAlarmThread;
  HANDLE m_hSysAlarmThread;
  HANDLE m_hRaidAltBlinkThread;
  HANDLE m_hRaidBlinkThread;
  HANDLE m_hStatusBlinkThread;
  HANDLE m_hInstanceMutex;
  DWORD m_dwCheckIntervalMs;
};
