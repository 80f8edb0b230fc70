// The prologue every emulated call runs before its own work: find the world and the calling
// simulated thread, act on a stopped run, offer a switch point, and, on request, ask the fault
// plan whether this call is to fail. The C runtime's errno is the program's: the call leaves
// it as it found it, whatever the host's functions that winsim uses did to it.
#pragma once

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Scheduler.h"
#include "core/SimThread.h"
#include "kernel32/Process.h"
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
template <typename T>
std::shared_ptr<T> object_as(Call &call, HANDLE handle, ObjectType type) {
  auto object = object_of(call, handle);
  if (!object || object->type() != type) return nullptr;
  return std::static_pointer_cast<T>(object);
}

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
