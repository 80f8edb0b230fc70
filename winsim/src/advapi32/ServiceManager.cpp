// The service control manager's API: its handles and the services' handles, creating, opening
// and deleting a service, its configuration and status, starting its program and sending it
// controls.
#include <cstring>

#include "advapi32/ServiceControl.h"
#include "core/Call.h"
#include "kernel32/Launch.h"
#include "winsim/Services.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace winsim {
namespace {

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
// The configuration levels besides the description (failure actions up to the launch
// protection): the system takes them, winsim does not simulate them.
constexpr DWORD kFirstOtherConfigLevel = 2;
constexpr DWORD kLastConfigLevel = 12;

class ScManagerObject : public Object {
 public:
  ObjectType type() const override { return ObjectType::ScManager; }
  std::string describe() const override { return "service control manager"; }
};

class ServiceObject : public Object {
 public:
  ServiceObject(Services &s, std::shared_ptr<Services::Record> r)
      : services(s), record(std::move(r)) {
    ++record->open_handles;
  }
  ObjectType type() const override { return ObjectType::Service; }
  std::string describe() const override { return "service \"" + record->info.name + "\""; }
  void last_handle_closed() override {
    --record->open_handles;
    services.remove_if_done(*record);
  }

  Services &services;
  std::shared_ptr<Services::Record> record;
};

// The service behind a handle, with the access the handle grants; null when not a service
// handle of the caller.
std::shared_ptr<Services::Record> service_of(Call &call, SC_HANDLE handle, DWORD *access) {
  auto *entry = call.process.handles.find(reinterpret_cast<HANDLE>(handle));
  if (entry == nullptr || entry->object->type() != ObjectType::Service) return nullptr;
  if (access != nullptr) *access = entry->access;
  return static_cast<ServiceObject &>(*entry->object).record;
}

bool manager_of(Call &call, SC_HANDLE handle, DWORD *access) {
  auto *entry = call.process.handles.find(reinterpret_cast<HANDLE>(handle));
  if (entry == nullptr || entry->object->type() != ObjectType::ScManager) return false;
  if (access != nullptr) *access = entry->access;
  return true;
}

// Stop the run: the handle given is no service handle, or no handle of the service control
// manager, of the caller (see handle_misuse).
[[noreturn]] void not_a_service(Call &call, SC_HANDLE handle) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  handle_misuse(call, h, object_of(call, h).get(), "a service handle");
}
[[noreturn]] void not_a_manager(Call &call, SC_HANDLE handle) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  handle_misuse(call, h, object_of(call, h).get(), "a service control manager handle");
}

// The service types CreateService takes: a driver, or a program of its own or sharing a
// process (a user service's template included); a program run as the system account may also
// be interactive.
bool known_service_type(DWORD type) {
  switch (type & ~static_cast<DWORD>(SERVICE_INTERACTIVE_PROCESS)) {
    case SERVICE_WIN32_OWN_PROCESS:
    case SERVICE_WIN32_SHARE_PROCESS:
      return true;
    case SERVICE_KERNEL_DRIVER:
    case SERVICE_FILE_SYSTEM_DRIVER:
    case 0x04:  // SERVICE_ADAPTER
    case 0x08:  // SERVICE_RECOGNIZER_DRIVER
    case 0x50:  // SERVICE_USER_OWN_PROCESS
    case 0x60:  // SERVICE_USER_SHARE_PROCESS
      return !(type & SERVICE_INTERACTIVE_PROCESS);
    default:
      return false;
  }
}

void fill_status(const ServiceInfo &info, SERVICE_STATUS *status) {
  status->dwServiceType = info.type;
  status->dwCurrentState = info.state;
  status->dwControlsAccepted = info.controls;
  status->dwWin32ExitCode = info.win32_exit_code;
  status->dwServiceSpecificExitCode = 0;
  status->dwCheckPoint = info.checkpoint;
  status->dwWaitHint = info.wait_hint;
}

// Which access right a control code needs from ControlService, or 0 when ControlService cannot
// send the code at all (the system's own controls).
DWORD right_for(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:
    case SERVICE_CONTROL_NETBINDADD:
    case SERVICE_CONTROL_NETBINDREMOVE:
    case SERVICE_CONTROL_NETBINDENABLE:
    case SERVICE_CONTROL_NETBINDDISABLE:
      return SERVICE_PAUSE_CONTINUE;
    case SERVICE_CONTROL_INTERROGATE:
      return SERVICE_INTERROGATE;
    default:
      return control >= 128 && control <= 255 ? SERVICE_USER_DEFINED_CONTROL : 0;
  }
}

SC_HANDLE open_manager(Call &call, const std::string &machine, const char *database, bool has_db,
                       DWORD access) {
  if (auto e = call.fault({}, ERROR_ACCESS_DENIED)) return call.fail_with<SC_HANDLE>(*e, nullptr);
  if (!machine.empty()) return call.fail_with<SC_HANDLE>(RPC_S_SERVER_UNAVAILABLE, nullptr);
  // An empty database name is the active database, as no name is.
  if (has_db && *database != '\0' && !equal_nocase(database, SERVICES_ACTIVE_DATABASEA))
    return call.fail_with<SC_HANDLE>(equal_nocase(database, "ServicesFailed")
                                         ? ERROR_DATABASE_DOES_NOT_EXIST
                                         : ERROR_INVALID_NAME,
                                     nullptr);
  if (access & call.world.services().denied_rights())
    return call.fail_with<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
  HANDLE h = call.process.handles.insert(std::make_shared<ScManagerObject>(), access, false);
  call.set_error(ERROR_SUCCESS);
  return reinterpret_cast<SC_HANDLE>(h);
}

SC_HANDLE open_service(Call &call, SC_HANDLE manager, const std::optional<std::string> &name,
                       DWORD access) {
  if (auto e = call.fault({name.value_or("")}, ERROR_ACCESS_DENIED))
    return call.fail_with<SC_HANDLE>(*e, nullptr);
  if (!manager_of(call, manager, nullptr)) not_a_manager(call, manager);
  if (!name) return call.fail_with<SC_HANDLE>(ERROR_INVALID_ADDRESS, nullptr);
  if (name->empty()) return call.fail_with<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
  auto record = call.world.services().find(*name);
  if (!record) return call.fail_with<SC_HANDLE>(ERROR_SERVICE_DOES_NOT_EXIST, nullptr);
  auto object = std::make_shared<ServiceObject>(call.world.services(), record);
  call.set_error(ERROR_SUCCESS);
  return reinterpret_cast<SC_HANDLE>(call.process.handles.insert(object, access, false));
}

BOOL start_service(Call &call, SC_HANDLE handle, const std::vector<std::string> &arguments) {
  DWORD access = 0;
  auto record = service_of(call, handle, &access);
  if (auto e = call.fault({record ? record->info.name : std::string()}, ERROR_ACCESS_DENIED))
    return call.fail(*e);
  if (!record) winsim::not_a_service(call, handle);
  if (!(access & SERVICE_START)) return call.fail(ERROR_ACCESS_DENIED);
  ServiceInfo &info = record->info;
  if (info.marked_for_delete) return call.fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  if (info.start == SERVICE_DISABLED) return call.fail(ERROR_SERVICE_DISABLED);
  if (info.state != SERVICE_STOPPED) return call.fail(ERROR_SERVICE_ALREADY_RUNNING);

  LaunchRequest request;
  request.command_line = utf8_to_utf16(info.path);
  request.creation_flags = DETACHED_PROCESS;
  request.current_dir = World::kSystemDir;
  Process *process = nullptr;
  SimThread *main = nullptr;
  Process &manager = call.world.system_process("services.exe");
  if (DWORD error = launch_process(call, manager, request, &process, &main))
    return call.fail(error);
  process->service_name = info.name;
  info.state = SERVICE_START_PENDING;
  info.controls = 0;
  info.checkpoint = 0;
  info.wait_hint = 2000;
  info.win32_exit_code = 0;
  info.pid = process->pid;
  record->arguments = arguments;
  record->connected = false;
  record->connect_event = new_event(true);

  std::shared_ptr<Object> ended = process->object;
  DWORD wait = wait_objects(call, {record->connect_event, ended}, false, kStartTimeoutMs,
                            "StartService(" + info.name + ")");
  if (wait == WAIT_OBJECT_0) return TRUE;
  return call.fail(ERROR_SERVICE_REQUEST_TIMEOUT);
}

}  // namespace

}  // namespace winsim

namespace {

// StartService in either form: the arguments in the service's text, then the start. A count of
// arguments needs their vector.
template <typename Text, typename Convert>
BOOL start_with_arguments(winsim::Call &call, SC_HANDLE service, DWORD count, Text *vector,
                          Convert convert) {
  if (count != 0 && vector == nullptr) return call.fail(ERROR_INVALID_PARAMETER);
  std::vector<std::string> arguments;
  for (DWORD i = 0; i < count; ++i) arguments.push_back(convert(vector[i]));
  return winsim::start_service(call, service, arguments);
}

}  // namespace

using winsim::Call;
using winsim::ObjectType;
using winsim::Services;

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR lpMachineName, LPCSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
  Call call("OpenSCManagerA");
  std::string machine = lpMachineName ? winsim::to_utf8(lpMachineName, call.world.acp()) : "";
  return winsim::open_manager(call, machine, lpDatabaseName, lpDatabaseName != nullptr,
                              dwDesiredAccess);
}

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                DWORD dwDesiredAccess) {
  Call call("OpenSCManagerW");
  std::string machine = lpMachineName ? winsim::utf16_to_utf8(lpMachineName) : "";
  std::string database = lpDatabaseName ? winsim::utf16_to_utf8(lpDatabaseName) : "";
  return winsim::open_manager(call, machine, database.c_str(), lpDatabaseName != nullptr,
                              dwDesiredAccess);
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, LPCSTR lpDisplayName,
                                DWORD dwDesiredAccess, DWORD dwServiceType, DWORD dwStartType,
                                DWORD dwErrorControl, LPCSTR lpBinaryPathName,
                                LPCSTR lpLoadOrderGroup, LPDWORD lpdwTagId, LPCSTR lpDependencies,
                                LPCSTR lpServiceStartName, LPCSTR lpPassword) {
  (void)lpLoadOrderGroup;
  (void)lpdwTagId;
  (void)lpDependencies;
  (void)lpServiceStartName;
  (void)lpPassword;
  Call call("CreateServiceA");
  unsigned cp = call.world.acp();
  std::string name = lpServiceName ? winsim::to_utf8(lpServiceName, cp) : "";
  if (auto e = call.fault({name}, ERROR_ACCESS_DENIED))
    return call.fail_with<SC_HANDLE>(*e, nullptr);
  DWORD access = 0;
  if (!winsim::manager_of(call, hSCManager, &access)) winsim::not_a_manager(call, hSCManager);
  if (!(access & SC_MANAGER_CREATE_SERVICE))
    return call.fail_with<SC_HANDLE>(ERROR_ACCESS_DENIED, nullptr);
  if (name.empty() || name.find_first_of("/\\") != std::string::npos)
    return call.fail_with<SC_HANDLE>(ERROR_INVALID_NAME, nullptr);
  if (lpBinaryPathName == nullptr || !winsim::known_service_type(dwServiceType) ||
      dwStartType > SERVICE_DISABLED || dwErrorControl > SERVICE_ERROR_CRITICAL)
    return call.fail_with<SC_HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  Services &services = call.world.services();
  if (auto existing = services.find(name))
    return call.fail_with<SC_HANDLE>(
        existing->info.marked_for_delete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS,
        nullptr);
  std::string display = lpDisplayName ? winsim::to_utf8(lpDisplayName, cp) : name;
  if (services.name_in_use(display))
    return call.fail_with<SC_HANDLE>(ERROR_DUPLICATE_SERVICE_NAME, nullptr);
  winsim::ServiceInfo info;
  info.name = name;
  info.display = display;
  info.path = winsim::to_utf8(lpBinaryPathName, cp);
  info.type = dwServiceType;
  info.start = dwStartType;
  info.error_control = dwErrorControl;
  auto record = services.add(info);
  winsim::Trace::Record r;
  r["service"] = info.name;
  r["display"] = info.display;
  r["type"] = info.type;
  r["start"] = info.start;
  r["errorControl"] = info.error_control;
  r["path"] = info.path;
  call.world.record("svc.create", std::move(r));
  auto object = std::make_shared<winsim::ServiceObject>(services, record);
  call.set_error(ERROR_SUCCESS);
  return reinterpret_cast<SC_HANDLE>(call.process.handles.insert(object, dwDesiredAccess, false));
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE hSCManager, LPCSTR lpServiceName, DWORD dwDesiredAccess) {
  Call call("OpenServiceA");
  std::optional<std::string> name;
  if (lpServiceName != nullptr) name = winsim::to_utf8(lpServiceName, call.world.acp());
  return winsim::open_service(call, hSCManager, name, dwDesiredAccess);
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  Call call("OpenServiceW");
  std::optional<std::string> name;
  if (lpServiceName != nullptr) name = winsim::utf16_to_utf8(lpServiceName);
  return winsim::open_service(call, hSCManager, name, dwDesiredAccess);
}

BOOL WINAPI DeleteService(SC_HANDLE hService) {
  Call call("DeleteService");
  DWORD access = 0;
  auto record = winsim::service_of(call, hService, &access);
  if (auto e = call.fault({record ? record->info.name : std::string()}, ERROR_ACCESS_DENIED))
    return call.fail(*e);
  if (!record) winsim::not_a_service(call, hService);
  if (!(access & DELETE)) return call.fail(ERROR_ACCESS_DENIED);
  if (record->info.marked_for_delete) return call.fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  record->info.marked_for_delete = true;
  return TRUE;
}

BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE hService, DWORD dwInfoLevel, LPVOID lpInfo) {
  Call call("ChangeServiceConfig2A");
  DWORD access = 0;
  auto record = winsim::service_of(call, hService, &access);
  if (auto e = call.fault({record ? record->info.name : std::string()}, ERROR_ACCESS_DENIED))
    return call.fail(*e);
  if (!record) winsim::not_a_service(call, hService);
  if (!(access & SERVICE_CHANGE_CONFIG)) return call.fail(ERROR_ACCESS_DENIED);
  if (dwInfoLevel != SERVICE_CONFIG_DESCRIPTION) {
    if (dwInfoLevel >= winsim::kFirstOtherConfigLevel && dwInfoLevel <= winsim::kLastConfigLevel)
      call.not_simulated("for configuration level " + std::to_string(dwInfoLevel));
    return call.fail(ERROR_INVALID_PARAMETER);
  }
  if (lpInfo == nullptr) call.not_simulated("without the description record");
  if (record->info.marked_for_delete) return call.fail(ERROR_SERVICE_MARKED_FOR_DELETE);
  auto *description = static_cast<SERVICE_DESCRIPTIONA *>(lpInfo);
  if (description->lpDescription != nullptr)
    record->info.description = winsim::to_utf8(description->lpDescription, call.world.acp());
  return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject) {
  Call call("CloseServiceHandle");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  winsim::checked_object(call, reinterpret_cast<HANDLE>(hSCObject),
                         {ObjectType::ScManager, ObjectType::Service},
                         "a service or service control manager handle");
  winsim::close_handle(call.world, call.process, reinterpret_cast<HANDLE>(hSCObject));
  return TRUE;
}

BOOL WINAPI QueryServiceStatus(SC_HANDLE hService, LPSERVICE_STATUS lpServiceStatus) {
  Call call("QueryServiceStatus");
  DWORD access = 0;
  auto record = winsim::service_of(call, hService, &access);
  if (auto e = call.fault({record ? record->info.name : std::string()}, ERROR_ACCESS_DENIED))
    return call.fail(*e);
  if (!record) winsim::not_a_service(call, hService);
  if (lpServiceStatus == nullptr) call.program_fault("with no SERVICE_STATUS to fill");
  if (!(access & SERVICE_QUERY_STATUS)) return call.fail(ERROR_ACCESS_DENIED);
  winsim::fill_status(record->info, lpServiceStatus);
  return TRUE;
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, LPBYTE lpBuffer,
                                 DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
  Call call("QueryServiceStatusEx");
  DWORD access = 0;
  auto record = winsim::service_of(call, hService, &access);
  if (auto e = call.fault({record ? record->info.name : std::string()}, ERROR_ACCESS_DENIED))
    return call.fail(*e);
  if (!record) winsim::not_a_service(call, hService);
  if (InfoLevel != SC_STATUS_PROCESS_INFO) return call.fail(winsim::ERROR_INVALID_LEVEL);
  if (pcbBytesNeeded == nullptr) return call.fail(ERROR_INVALID_ADDRESS);
  // The size needed is reported only to a buffer too small; otherwise it reads 0.
  *pcbBytesNeeded = 0;
  if (!(access & SERVICE_QUERY_STATUS)) return call.fail(ERROR_ACCESS_DENIED);
  if (lpBuffer == nullptr || cbBufSize < sizeof(SERVICE_STATUS_PROCESS)) {
    *pcbBytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
    return call.fail(ERROR_INSUFFICIENT_BUFFER);
  }
  SERVICE_STATUS_PROCESS status{};
  SERVICE_STATUS basic{};
  winsim::fill_status(record->info, &basic);
  std::memcpy(&status, &basic, sizeof basic);
  status.dwProcessId = record->info.pid;
  std::memcpy(lpBuffer, &status, sizeof status);
  return TRUE;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE hService, LPQUERY_SERVICE_CONFIGA lpServiceConfig,
                                DWORD cbBufSize, LPDWORD pcbBytesNeeded) {
  Call call("QueryServiceConfigA");
  DWORD access = 0;
  auto record = winsim::service_of(call, hService, &access);
  if (auto e = call.fault({record ? record->info.name : std::string()}, ERROR_ACCESS_DENIED))
    return call.fail(*e);
  if (!record) winsim::not_a_service(call, hService);
  if (!(access & SERVICE_QUERY_CONFIG)) return call.fail(ERROR_ACCESS_DENIED);
  unsigned cp = call.world.acp();
  const winsim::ServiceInfo &info = record->info;
  // The strings follow the record, each with its terminator; dependencies end with two.
  std::string path = winsim::from_utf8(info.path, cp);
  std::string display = winsim::from_utf8(info.display, cp);
  std::string account = "LocalSystem";
  DWORD needed = static_cast<DWORD>(sizeof(QUERY_SERVICE_CONFIGA) + path.size() + 1 + 1 + 2 +
                                    account.size() + 1 + display.size() + 1);
  if (pcbBytesNeeded != nullptr) *pcbBytesNeeded = needed;
  if (lpServiceConfig == nullptr || cbBufSize < needed) return call.fail(ERROR_INSUFFICIENT_BUFFER);
  char *text = reinterpret_cast<char *>(lpServiceConfig + 1);
  auto put = [&text](const std::string &s, size_t terminators) {
    char *start = text;
    std::memcpy(text, s.data(), s.size());
    text += s.size();
    for (size_t i = 0; i < terminators; ++i) *text++ = '\0';
    return start;
  };
  lpServiceConfig->dwServiceType = info.type;
  lpServiceConfig->dwStartType = info.start;
  lpServiceConfig->dwErrorControl = info.error_control;
  lpServiceConfig->lpBinaryPathName = put(path, 1);
  lpServiceConfig->lpLoadOrderGroup = put("", 1);
  lpServiceConfig->dwTagId = 0;
  lpServiceConfig->lpDependencies = put("", 2);
  lpServiceConfig->lpServiceStartName = put(account, 1);
  lpServiceConfig->lpDisplayName = put(display, 1);
  return TRUE;
}

BOOL WINAPI StartServiceA(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCSTR *lpServiceArgVectors) {
  Call call("StartServiceA");
  return start_with_arguments(
      call, hService, dwNumServiceArgs, lpServiceArgVectors,
      [&call](LPCSTR text) { return winsim::to_utf8(text, call.world.acp()); });
}

BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                          LPCWSTR *lpServiceArgVectors) {
  Call call("StartServiceW");
  return start_with_arguments(call, hService, dwNumServiceArgs, lpServiceArgVectors,
                              [](LPCWSTR text) { return winsim::utf16_to_utf8(text); });
}

BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl, LPSERVICE_STATUS lpServiceStatus) {
  Call call("ControlService");
  DWORD access = 0;
  auto record = winsim::service_of(call, hService, &access);
  std::string name = record ? record->info.name : std::string();
  DWORD result = ERROR_SUCCESS;
  if (auto e = call.fault({name}, ERROR_ACCESS_DENIED)) {
    result = *e;
  } else if (!record) {
    winsim::not_a_service(call, hService);
  } else if (DWORD right = winsim::right_for(dwControl); right == 0) {
    result = ERROR_INVALID_PARAMETER;
  } else if (!(access & right)) {
    result = ERROR_ACCESS_DENIED;
  } else if (record->info.state == SERVICE_STOPPED || !record->connected) {
    result = ERROR_SERVICE_NOT_ACTIVE;
  } else if (record->info.state == SERVICE_START_PENDING ||
             record->info.state == SERVICE_STOP_PENDING) {
    result = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  } else if (!winsim::accepted(record->info.controls, dwControl)) {
    result = ERROR_INVALID_SERVICE_CONTROL;
  } else {
    result = winsim::deliver(call, *record, dwControl, 0);
  }
  winsim::record_control(call.world, name, dwControl, 0, result);
  if (record && lpServiceStatus != nullptr) winsim::fill_status(record->info, lpServiceStatus);
  if (result != ERROR_SUCCESS) return call.fail(result);
  return TRUE;
}
