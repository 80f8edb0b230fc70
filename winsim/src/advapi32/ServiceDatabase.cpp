// The service control manager's database: the services, their configurations and statuses,
// and the controls it sends to their handlers.
#include "advapi32/ServiceControl.h"
#include "core/Call.h"
#include "kernel32/EventObject.h"
#include "winsim/Services.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace winsim {

constexpr DWORD kControlTimeoutMs = 30000;

std::shared_ptr<Object> new_event(bool manual) {
  return std::make_shared<EventObject>(manual, false);
}

void set_event(World &world, const std::shared_ptr<Object> &event) {
  static_cast<EventObject &>(*event).set = true;
  world.signal(*event);
}

void record_control(World &world, const std::string &name, DWORD control, DWORD event_type,
                    DWORD result) {
  Trace::Record r;
  r["service"] = name;
  r["control"] = control;
  r["eventType"] = event_type;
  r["result"] = result;
  world.record("svc.control", std::move(r));
}

// Queues a control for the service's dispatcher and waits for its handler's answer.
DWORD deliver(Call &call, Services::Record &record, DWORD control, DWORD event_type) {
  auto request = std::make_shared<Services::Request>();
  request->control = control;
  request->event_type = event_type;
  request->done_event = new_event(true);
  record.queue.push_back(request);
  set_event(call.world, record.queue_event);
  DWORD wait =
      wait_objects(call, {request->done_event}, false, kControlTimeoutMs,
                   "ControlService(" + record.info.name + ", " + std::to_string(control) + ")");
  if (wait != WAIT_OBJECT_0) return ERROR_SERVICE_REQUEST_TIMEOUT;
  return request->result;
}

// Whether the service's accepted-controls mask lets the code through. Interrogation, device
// events and user-defined codes need no bit; a system code without one is never sent.
bool accepted(DWORD controls, DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return controls & SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return controls & SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_SHUTDOWN:
      return controls & SERVICE_ACCEPT_SHUTDOWN;
    case SERVICE_CONTROL_PARAMCHANGE:
      return controls & SERVICE_ACCEPT_PARAMCHANGE;
    case SERVICE_CONTROL_NETBINDADD:
    case SERVICE_CONTROL_NETBINDREMOVE:
    case SERVICE_CONTROL_NETBINDENABLE:
    case SERVICE_CONTROL_NETBINDDISABLE:
      return controls & SERVICE_ACCEPT_NETBINDCHANGE;
    case SERVICE_CONTROL_HARDWAREPROFILECHANGE:
      return controls & SERVICE_ACCEPT_HARDWAREPROFILECHANGE;
    case SERVICE_CONTROL_POWEREVENT:
      return controls & SERVICE_ACCEPT_POWEREVENT;
    case SERVICE_CONTROL_SESSIONCHANGE:
      return controls & SERVICE_ACCEPT_SESSIONCHANGE;
    case SERVICE_CONTROL_PRESHUTDOWN:
      return controls & SERVICE_ACCEPT_PRESHUTDOWN;
    case SERVICE_CONTROL_TIMECHANGE:
      return controls & SERVICE_ACCEPT_TIMECHANGE;
    case SERVICE_CONTROL_INTERROGATE:
    case SERVICE_CONTROL_DEVICEEVENT:
      return true;
    default:
      return control >= 128 && control <= 255;
  }
}

Services::Services(World &world) : world_(world) {
  world_.on_process_exit([this](Process &p) { process_ended(p); });
}

Services::~Services() = default;

std::shared_ptr<Services::Record> Services::find(const std::string &name) const {
  for (const auto &r : records_)
    if (equal_nocase(r->info.name, name)) return r;
  return nullptr;
}

std::shared_ptr<Services::Record> Services::find_by_status_handle(std::uintptr_t handle) const {
  for (const auto &r : records_)
    if (r->status_handle != 0 && r->status_handle == handle) return r;
  return nullptr;
}

std::shared_ptr<Services::Record> Services::find_by_pid(std::uint32_t pid) const {
  for (const auto &r : records_)
    if (r->info.pid == pid) return r;
  return nullptr;
}

std::shared_ptr<Services::Record> Services::add(ServiceInfo info) {
  auto record = std::make_shared<Record>();
  record->info = std::move(info);
  record->queue_event = new_event(false);
  records_.push_back(record);
  return record;
}

void Services::install(const std::string &name, const std::string &display, const std::string &path,
                       std::uint32_t start) {
  ServiceInfo info;
  info.name = name;
  info.display = display;
  info.path = path;
  info.start = start;
  add(std::move(info));
}

bool Services::exists(const std::string &name) const {
  return find(name) != nullptr;
}

bool Services::name_in_use(const std::string &name) const {
  for (const auto &r : records_)
    if (equal_nocase(r->info.name, name) || equal_nocase(r->info.display, name)) return true;
  return false;
}

std::optional<ServiceInfo> Services::info(const std::string &name) const {
  auto record = find(name);
  if (!record) return std::nullopt;
  return record->info;
}

void Services::remove_if_done(Record &record) {
  if (!record.info.marked_for_delete || record.open_handles > 0 ||
      record.info.state != SERVICE_STOPPED)
    return;
  for (auto it = records_.begin(); it != records_.end(); ++it)
    if (it->get() == &record) {
      Trace::Record r;
      r["service"] = record.info.name;
      world_.record("svc.delete", std::move(r));
      records_.erase(it);
      return;
    }
}

std::uint32_t Services::send(const std::string &name, std::uint32_t control,
                             std::uint32_t event_type) {
  Call call("Services::send");
  auto record = find(name);
  DWORD result = ERROR_SERVICE_DOES_NOT_EXIST;
  if (record) {
    // What the service's last status does not accept never reaches its handler.
    if (!record->connected || record->handler == nullptr || record->info.state == SERVICE_STOPPED)
      result = ERROR_SERVICE_NOT_ACTIVE;
    else if (!accepted(record->info.controls, control))
      result = ERROR_INVALID_SERVICE_CONTROL;
    else
      result = deliver(call, *record, control, event_type);
  }
  record_control(world_, name, control, event_type, result);
  return result;
}

void Services::process_ended(Process &process) {
  auto record = find_by_pid(process.pid);
  if (!record) return;
  ServiceInfo &info = record->info;
  if (info.state != SERVICE_STOPPED) {
    // The program ended without reporting that it stopped.
    info.state = SERVICE_STOPPED;
    info.controls = 0;
    info.checkpoint = 0;
    info.wait_hint = 0;
    info.win32_exit_code = ERROR_PROCESS_ABORTED;
  }
  info.pid = 0;
  record->connected = false;
  record->handler = nullptr;
  record->status_handle = 0;
  for (auto &request : record->queue) {
    request->result = ERROR_SERVICE_REQUEST_TIMEOUT;
    request->done = true;
    set_event(world_, request->done_event);
  }
  record->queue.clear();
  remove_if_done(*record);
}

}  // namespace winsim
