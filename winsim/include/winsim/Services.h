// The service control manager of the simulated machine: its service database, the running
// service processes, and the controls the system sends them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

class World;
class Object;
class Process;

// What the service control manager knows of one service.
struct ServiceInfo {
  std::string name;
  std::string display;
  std::string path;  // binary path with arguments, UTF-8
  std::string description;
  std::uint32_t type = 0x10;
  std::uint32_t start = 3;
  std::uint32_t error_control = 1;
  // Last status: as the service reported it, or as the manager set it.
  std::uint32_t state = 1;  // SERVICE_STOPPED
  std::uint32_t controls = 0;
  std::uint32_t win32_exit_code = 1077;  // ERROR_SERVICE_NEVER_STARTED until its first start
  std::uint32_t checkpoint = 0;
  std::uint32_t wait_hint = 0;
  std::uint32_t pid = 0;  // process running the service, 0 when none
  bool marked_for_delete = false;
};

class Services {
 public:
  explicit Services(World &world);
  ~Services();
  Services(const Services &) = delete;
  Services &operator=(const Services &) = delete;

  // ---- Control face ----------------------------------------------------------------------
  // Adds a service to the database as CreateService would, without a trace record.
  void install(const std::string &name, const std::string &display, const std::string &path,
               std::uint32_t start = 2);
  bool exists(const std::string &name) const;
  // Whether a service already has this name or display name.
  bool name_in_use(const std::string &name) const;
  std::optional<ServiceInfo> info(const std::string &name) const;
  // Delivers a control to the service's handler as the system does (any code, with the event
  // type of device, power and session controls), waits for the handler's answer, and records
  // a "svc.control" trace record. Returns the handler's answer, or the manager's error:
  // ERROR_SERVICE_DOES_NOT_EXIST, or ERROR_SERVICE_NOT_ACTIVE when no handler is registered.
  // Called on the host thread.
  std::uint32_t send(const std::string &name, std::uint32_t control, std::uint32_t event_type = 0);
  // OpenSCManager refuses requests for these rights with ERROR_ACCESS_DENIED.
  void deny_rights(std::uint32_t rights) { denied_rights_ |= rights; }
  std::uint32_t denied_rights() const { return denied_rights_; }

  // ---- Internals used by the service functions ---------------------------------------------
  struct Request {
    std::uint32_t control = 0;
    std::uint32_t event_type = 0;
    std::uint32_t result = 0;
    bool done = false;
    std::shared_ptr<Object> done_event;
  };
  struct Record {
    ServiceInfo info;
    int open_handles = 0;
    // The running instance.
    bool connected = false;   // the dispatcher has connected
    void *handler = nullptr;  // LPHANDLER_FUNCTION_EX
    void *context = nullptr;
    std::uintptr_t status_handle = 0;
    std::vector<std::string> arguments;
    std::shared_ptr<Object> connect_event;  // set when the dispatcher connects
    std::shared_ptr<Object> queue_event;    // set when a request or the final status arrives
    std::deque<std::shared_ptr<Request>> queue;
  };
  std::shared_ptr<Record> find(const std::string &name) const;
  std::shared_ptr<Record> find_by_status_handle(std::uintptr_t handle) const;
  std::shared_ptr<Record> find_by_pid(std::uint32_t pid) const;
  std::shared_ptr<Record> add(ServiceInfo info);
  // Removes a service marked for deletion once it has stopped and no handle refers to it.
  void remove_if_done(Record &record);
  std::uintptr_t next_status_handle() { return next_status_handle_ += 0x10; }

 private:
  void process_ended(Process &process);

  World &world_;
  std::vector<std::shared_ptr<Record>> records_;
  std::uint32_t denied_rights_ = 0;
  std::uintptr_t next_status_handle_ = 0x5C0000;
};

}  // namespace winsim
