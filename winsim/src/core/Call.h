// The prologue every emulated call runs before its own work: find the world and the calling
// simulated thread, act on a stopped run, offer a switch point, and, on request, ask the fault
// plan whether this call is to fail. The C runtime's errno is the program's: the call leaves
// it as it found it, whatever the host's functions that winsim uses did to it.
#pragma once

#include <cerrno>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Process.h"
#include "core/Scheduler.h"
#include "core/SimThread.h"
#include "winsim/World.h"
#include "winsim/win32/errors.h"

namespace winsim {

class Call {
 public:
  explicit Call(const char *call_name);
  ~Call() { errno = errno_at_entry_; }
  Call(const Call &) = delete;
  Call &operator=(const Call &) = delete;

  // The error this call is to fail with, when the fault plan says so; `subjects` are the texts
  // a fault's match is compared with (key path, value name, file path, service name).
  std::optional<DWORD> fault(std::vector<std::string_view> subjects = {},
                             DWORD default_error = ERROR_ACCESS_DENIED);

  // Failure and success helpers in the shape of the Win32 result conventions.
  BOOL fail(DWORD error) {
    thread.last_error = error;
    return FALSE;
  }
  template <typename T>
  T fail_with(DWORD error, T result) {
    thread.last_error = error;
    return result;
  }
  void set_error(DWORD error) { thread.last_error = error; }

  // Stops the run: the program asked this call for `what`, which winsim does not simulate
  // (rather than answer differently from Windows).
  [[noreturn]] void not_simulated(const std::string &what);
  // Stops the run as a fault of the program: it used this call in a way whose outcome Windows
  // leaves undefined (`what`: "on critical section #2, which it does not own"). The report names
  // the thread, the call and the program function that made it.
  [[noreturn]] void program_fault(const std::string &what);
  // The same for a method that is no switch point (a COM object's reference counting): the
  // run stops at once, reporting `call_name`.
  [[noreturn]] static void program_fault(const char *call_name, const std::string &what);

  World &world;
  SimThread &thread;
  Process &process;
  const char *name;

 private:
  int errno_at_entry_ = errno;
};

// The object behind a handle of the calling process, including the pseudo handles of the
// current process and thread; null when the handle is not valid.
std::shared_ptr<Object> object_of(Call &call, HANDLE handle);
// The object when it is of `type`, else null (a look-up ahead of the fault plan).
template <typename T>
std::shared_ptr<T> object_as(Call &call, HANDLE handle, ObjectType type) {
  auto object = object_of(call, handle);
  if (!object || object->type() != type) return nullptr;
  return std::static_pointer_cast<T>(object);
}

// Misuse of a handle, after Application Verifier's handle checks: a call given a handle its
// process does not have open (null, closed and not given out again, or never given out), or a
// handle to an object of a kind the call does not take (an event to CloseServiceHandle, a
// registry key or a service handle to CloseHandle, a key to WaitForSingleObject), stops the run
// as a fault of the program. Windows itself mostly fails such a call with ERROR_INVALID_HANDLE,
// but the handle value may by then name another object of the process, so the outcome is
// undefined. Not misuse, and answered with Windows' documented error: a valid handle lacking an
// access right, an object in a state that refuses the call (a deleted key, an ended process, a
// service marked for deletion), and, for the console functions, a handle that is no console
// (the documented way to tell a console from a redirected output). The pseudo handles of the
// current process and thread (INVALID_HANDLE_VALUE is the former) are valid wherever a process
// or thread handle is taken.
//
// The object behind `handle` when it is one of `kinds`; `wanted` names what the call takes in
// the report ("a service handle").
std::shared_ptr<Object> checked_object(Call &call, HANDLE handle,
                                       std::initializer_list<ObjectType> kinds, const char *wanted);
template <typename T>
std::shared_ptr<T> checked_as(Call &call, HANDLE handle, ObjectType type, const char *wanted) {
  return std::static_pointer_cast<T>(checked_object(call, handle, {type}, wanted));
}
// Stops the run: `handle` is not open in the calling process, or (`object` given) refers to an
// object that is not `wanted`.
[[noreturn]] void handle_misuse(Call &call, HANDLE handle, const Object *object,
                                const char *wanted);
// Stops the run unless `handle` is open in the calling process.
void check_open(Call &call, HANDLE handle);

// Waits on objects as WaitForMultipleObjects does; `what` names the wait in deadlock reports.
DWORD wait_objects(Call &call, const std::vector<std::shared_ptr<Object>> &objects, bool all,
                   DWORD timeout_ms, std::string what);

// Stops the run with a report: the call asks for behaviour winsim does not emulate. The calling
// thread does not come back from it.
void unsupported(Call &call, const std::string &what);

// Closes a handle of `process`; false when it is not a handle of that process.
bool close_handle(World &world, Process &process, HANDLE handle);

// Millisecond count as the trace and reports show it: "INFINITE" or the number.
std::string timeout_text(DWORD ms);

}  // namespace winsim
