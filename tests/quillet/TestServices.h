// Variants of the service class for tests of the service frame: they keep the frame and
// change only the part a test looks at, and run as programs of their own in the world.
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
CallLog &Calls();

// Records every operation the control thread or the handler calls.
class RecordingService : public CQuilletCtrl {
 public:
  // Pausable, as a real service would be: the state a continue control is judged by.
  void OnPause() override {
    Calls().Add("OnPause");
    SetStatus(SERVICE_PAUSED);
  }
  void OnContinue() override {
    Calls().Add("OnContinue");
    SetStatus(SERVICE_RUNNING);
  }
  void OnPreShutdown() override { Calls().Add("OnPreShutdown"); }
  void OnParamChange() override {
    Calls().Add("OnParamChange");
    CQuilletCtrl::OnParamChange();
  }
  void OnDeviceEvent(DWORD dwEventType) override {
    Calls().Add("OnDeviceEvent " + std::to_string(dwEventType));
  }
  // Keeps the control thread busy for a second, so that controls can pile up meanwhile.
  void OnHardwareProfileChange() override {
    Calls().Add("OnHardwareProfileChange");
    Sleep(1000);
  }
  void OnPowerEvent(DWORD dwEventType) override {
    Calls().Add("OnPowerEvent " + std::to_string(dwEventType));
  }
  void OnUserControl(DWORD dwControl) override {
    Calls().Add("OnUserControl " + std::to_string(dwControl));
  }
  void OnStop() override {
    Calls().Add("OnStop");
    CQuilletCtrl::OnStop();
  }
  void OnShutdown() override {
    Calls().Add("OnShutdown");
    CQuilletCtrl::OnShutdown();
  }
  void Run() override {
    SetStatus(SERVICE_RUNNING, 0, 0, kRunningControls);
    WaitForSingleObject(m_hStopEvent, INFINITE);
    SetEvent(m_hRunExitEvent);
  }
};

// Takes 12 s to wind down after the stop request.
class SlowStopService : public CQuilletCtrl {
 public:
  void Run() override {
    SetStatus(SERVICE_RUNNING, 0, 0, kRunningControls);
    WaitForSingleObject(m_hStopEvent, INFINITE);
    Sleep(12000);
    SetEvent(m_hRunExitEvent);
  }
};

// Ends its work at once, without a stop request.
class ShortRunService : public CQuilletCtrl {
 public:
  void Run() override {
    SetStatus(SERVICE_RUNNING, 0, 0, kRunningControls);
    SetEvent(m_hRunExitEvent);
  }
};

// Reports a pending status without a checkpoint.
class BadPendingService : public CQuilletCtrl {
 public:
  void Run() override { SetStatus(SERVICE_STOP_PENDING, 0, 6000); }
};

// Reports an error whose text is longer than the report's buffer.
class LongErrorService : public CQuilletCtrl {
 public:
  void Run() override {
    std::string text(700, 'x');
    ReportError(text.c_str(), 0);
  }
};

}  // namespace quillet_test
