// Variants of the service class for tests of the service frame: they keep the frame and
// change only the part a test looks at, and run as programs of their own in the world.
// Their Run ends with a SetEvent that is checked, as in the real Run: a call last in a function
// would be a tail call here, and its return address would name the frame's ServiceMain.
#pragma once

#include <string>
#include <vector>

#include "monitor/CQuilletCtrl.h"
#include "service/ServiceIdentity.h"

namespace quillet_test {

// Runs `Service` under the dispatcher, as Quillet.exe runs CQuilletCtrl.
template <typename Service>
int RunServiceProgram() {
  Service service;
  SERVICE_TABLE_ENTRYA table[] = {
      {const_cast<LPSTR>(quillet::kDispatchName), SvsBase::ServiceMainEntry},
      {nullptr, nullptr},
  };
  StartServiceCtrlDispatcherA(table);
  return 0;
}

// What the service's operations were called with, in order, and on which thread.
struct CallLog {
  std::vector<std::string> calls;
  std::vector<DWORD> threads;
  void Add(const std::string &call) {
    calls.push_back(call);
    threads.push_back(GetCurrentThreadId());
  }
};
inline CallLog &Calls() {
  static CallLog log;
  return log;
}

// Records every operation the control thread or the handler calls.
class RecordingService : public CQuilletCtrl {
 public:
  // Accepts every control the manager can send, so that each one reaches the handler.
  static constexpr DWORD kAllControls =
      kRunningControls | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_NETBINDCHANGE |
      SERVICE_ACCEPT_HARDWAREPROFILECHANGE | SERVICE_ACCEPT_SESSIONCHANGE |
      SERVICE_ACCEPT_PRESHUTDOWN | SERVICE_ACCEPT_TIMECHANGE;
  // Pausable as a real service would be, through a pending state whose checkpoint and wait
  // hint the settled state must not keep.
  void OnPause() override {
    Calls().Add("OnPause");
    SetStatus(SERVICE_PAUSE_PENDING, 1, 1000);
    SetStatus(SERVICE_PAUSED);
  }
  void OnContinue() override {
    Calls().Add("OnContinue");
    SetStatus(SERVICE_CONTINUE_PENDING, 2, 3000);
    SetStatus(SERVICE_RUNNING);
  }
  void OnPreShutdown() override { Calls().Add("OnPreShutdown"); }
  void OnParamChange() override {
    Calls().Add("OnParamChange");
    CQuilletCtrl::OnParamChange();
  }
  void OnDeviceEvent(DWORD type) override { Calls().Add("OnDeviceEvent " + std::to_string(type)); }
  // Keeps the control thread busy for a second, so that controls can pile up meanwhile.
  void OnHardwareProfileChange() override {
    Calls().Add("OnHardwareProfileChange");
    Sleep(1000);
  }
  void OnPowerEvent(DWORD type) override { Calls().Add("OnPowerEvent " + std::to_string(type)); }
  void OnUserControl(DWORD code) override { Calls().Add("OnUserControl " + std::to_string(code)); }
  void OnStop() override {
    Calls().Add("OnStop");
    CQuilletCtrl::OnStop();
  }
  void OnShutdown() override {
    Calls().Add("OnShutdown");
    CQuilletCtrl::OnShutdown();
  }
  void Run() override {
    SetStatus(SERVICE_RUNNING, 0, 0, kAllControls);
    WaitForSingleObject(m_hStopEvent, INFINITE);
    if (!SetEvent(m_hRunExitEvent)) ReportError("SetEvent", GetLastError());
  }
};

// Takes 12 s to wind down after the stop request.
class SlowStopService : public CQuilletCtrl {
 public:
  void Run() override {
    SetStatus(SERVICE_RUNNING, 0, 0, kRunningControls);
    WaitForSingleObject(m_hStopEvent, INFINITE);
    Sleep(12000);
    if (!SetEvent(m_hRunExitEvent)) ReportError("SetEvent", GetLastError());
  }
};

// Ends its work at once, without a stop request.
class ShortRunService : public CQuilletCtrl {
 public:
  void Run() override {
    SetStatus(SERVICE_RUNNING, 0, 0, kRunningControls);
    if (!SetEvent(m_hRunExitEvent)) ReportError("SetEvent", GetLastError());
  }
};

// Reports STOP_PENDING with the checkpoint and wait hint the test chose.
class BadPendingService : public CQuilletCtrl {
 public:
  static inline DWORD s_dwCheckPoint = 0;
  static inline DWORD s_dwWaitHint = 0;
  void Run() override { SetStatus(SERVICE_STOP_PENDING, s_dwCheckPoint, s_dwWaitHint); }
};

// Reports an error with the text the test chose.
class LongErrorService : public CQuilletCtrl {
 public:
  static inline std::string s_strText;
  void Run() override { ReportError(s_strText.c_str(), 0); }
};

}  // namespace quillet_test
