// The service class of Quillet: the service's own events and mutex, the monitoring loop, and
// the stop half of the status protocol.
#pragma once

#include "platform/win32.h"
#include "service/SvsBase.h"

class CQuilletCtrl : public SvsBase {
 public:
  // Controls the running service accepts: stop, shutdown, parameter change, power event.
  static constexpr DWORD kRunningControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                            SERVICE_ACCEPT_PARAMCHANGE | SERVICE_ACCEPT_POWEREVENT;

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
};
