// The C runtime's thread start: CreateThread's, with the runtime's start routine.
#include <functional>

#include "core/Call.h"
#include "kernel32/Threads.h"
#include "winsim/win32.h"

using winsim::Call;

std::uintptr_t _beginthreadex(void *security, unsigned stack_size,
                              _beginthreadex_proc_type start_address, void *arglist,
                              unsigned initflag, unsigned *thrdaddr) {
  (void)security;
  (void)stack_size;
  Call call("_beginthreadex");
  std::function<DWORD()> body;
  if (start_address != nullptr) body = [start_address, arglist] { return start_address(arglist); };
  DWORD thread_id = 0;
  HANDLE thread = winsim::start_thread(call, std::move(body), initflag, &thread_id);
  if (thread != nullptr && thrdaddr != nullptr) *thrdaddr = thread_id;
  return reinterpret_cast<std::uintptr_t>(thread);
}
