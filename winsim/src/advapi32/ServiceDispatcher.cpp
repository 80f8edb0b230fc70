// The dispatcher of a service process: its connection to the service control manager, the
// service's control handler and its status reports.
#include <string>
#include <vector>

#include "advapi32/ServiceControl.h"
#include "core/Call.h"
#include "winsim/Services.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::Services;

BOOL WINAPI StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA *lpServiceStartTable) {
  Call call("StartServiceCtrlDispatcherA");
  if (auto e = call.fault({call.process.service_name}, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT))
    return call.fail(*e);
  Services &services = call.world.services();
  auto record =
      call.process.service_name.empty() ? nullptr : services.find_by_pid(call.process.pid);
  if (!record) return call.fail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  if (lpServiceStartTable == nullptr || lpServiceStartTable[0].lpServiceProc == nullptr)
    return call.fail(ERROR_INVALID_PARAMETER);
  if (record->connected) return call.fail(ERROR_SERVICE_ALREADY_RUNNING);
  record->connected = true;
  winsim::set_event(call.world, record->connect_event);

  // A process of one service: the table's name is not compared with the service's.
  LPSERVICE_MAIN_FUNCTIONA service_main = lpServiceStartTable[0].lpServiceProc;
  std::vector<std::string> arguments = {winsim::from_utf8(record->info.name, call.world.acp())};
  for (const auto &a : record->arguments)
    arguments.push_back(winsim::from_utf8(a, call.world.acp()));
  winsim::SimThread *thread = call.world.create_thread(
      call.process,
      [service_main, arguments]() mutable {
        std::vector<LPSTR> argv;
        for (auto &a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        service_main(static_cast<DWORD>(arguments.size()), argv.data());
        return DWORD{0};
      },
      false);
  winsim::Trace::Record r;
  r["thread"] = thread->tid;
  call.world.record("thread.start", std::move(r));

  // The dispatcher: the handler runs here, on the process's main thread, one control at a
  // time; the dispatcher returns once the service has reported that it stopped.
  for (;;) {
    while (!record->queue.empty()) {
      auto request = record->queue.front();
      record->queue.pop_front();
      auto handler = reinterpret_cast<LPHANDLER_FUNCTION_EX>(record->handler);
      request->result = handler != nullptr ? handler(request->control, request->event_type, nullptr,
                                                     record->context)
                                           : static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE);
      request->done = true;
      winsim::set_event(call.world, request->done_event);
    }
    if (record->info.state == SERVICE_STOPPED) break;
    winsim::wait_objects(call, {record->queue_event}, false, INFINITE,
                         "StartServiceCtrlDispatcherA(waiting for service controls)");
  }
  record->connected = false;
  record->handler = nullptr;
  return TRUE;
}

SERVICE_STATUS_HANDLE WINAPI RegisterServiceCtrlHandlerExA(LPCSTR lpServiceName,
                                                           LPHANDLER_FUNCTION_EX lpHandlerProc,
                                                           LPVOID lpContext) {
  Call call("RegisterServiceCtrlHandlerExA");
  std::string name = lpServiceName ? winsim::to_utf8(lpServiceName, call.world.acp()) : "";
  if (auto e = call.fault({name}, ERROR_SERVICE_DOES_NOT_EXIST))
    return call.fail_with<SERVICE_STATUS_HANDLE>(*e, nullptr);
  auto record = call.world.services().find_by_pid(call.process.pid);
  // A process of one service: the name is not compared.
  if (!record || !record->connected)
    return call.fail_with<SERVICE_STATUS_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
  if (lpHandlerProc == nullptr)
    return call.fail_with<SERVICE_STATUS_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  record->handler = reinterpret_cast<void *>(lpHandlerProc);
  record->context = lpContext;
  if (record->status_handle == 0)
    record->status_handle = call.world.services().next_status_handle();
  call.set_error(ERROR_SUCCESS);
  return reinterpret_cast<SERVICE_STATUS_HANDLE>(record->status_handle);
}

BOOL WINAPI SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus,
                             LPSERVICE_STATUS lpServiceStatus) {
  Call call("SetServiceStatus");
  auto record =
      call.world.services().find_by_status_handle(reinterpret_cast<std::uintptr_t>(hServiceStatus));
  if (auto e = call.fault({record ? record->info.name : std::string()}, ERROR_INVALID_HANDLE))
    return call.fail(*e);
  if (!record || record->info.pid != call.process.pid) return call.fail(ERROR_INVALID_HANDLE);
  if (lpServiceStatus == nullptr) return call.fail(ERROR_INVALID_ADDRESS);
  DWORD state = lpServiceStatus->dwCurrentState;
  if (state < SERVICE_STOPPED || state > SERVICE_PAUSED) return call.fail(ERROR_INVALID_DATA);
  winsim::ServiceInfo &info = record->info;
  info.state = state;
  info.controls = lpServiceStatus->dwControlsAccepted;
  info.win32_exit_code = lpServiceStatus->dwWin32ExitCode;
  info.checkpoint = lpServiceStatus->dwCheckPoint;
  info.wait_hint = lpServiceStatus->dwWaitHint;
  winsim::Trace::Record r;
  r["service"] = info.name;
  r["state"] = state;
  r["checkpoint"] = info.checkpoint;
  r["waitHint"] = info.wait_hint;
  r["controls"] = info.controls;
  r["win32ExitCode"] = info.win32_exit_code;
  call.world.record("svc.status", std::move(r));
  if (state == SERVICE_STOPPED) {
    winsim::set_event(call.world, record->queue_event);
    call.world.services().remove_if_done(*record);
  }
  return TRUE;
}
