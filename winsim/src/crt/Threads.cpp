// The C runtime's thread start.
#include "core/Call.h"
#include "core/ThreadObject.h"
#include "winsim/win32.h"

using winsim::Call;

namespace {

constexpr DWORD THREAD_ALL_ACCESS = 0x1FFFFF;

// A thread that starts suspended needs ResumeThread, which winsim does not simulate.
void refuse_suspended(Call &call, DWORD flags) {
  if (flags & CREATE_SUSPENDED) call.not_simulated("with CREATE_SUSPENDED");
}

}  // namespace

std::uintptr_t _beginthreadex(void *security, unsigned stack_size,
                              _beginthreadex_proc_type start_address, void *arglist,
                              unsigned initflag, unsigned *thrdaddr) {
  (void)security;
  (void)stack_size;
  Call call("_beginthreadex");
  if (auto e = call.fault({}, ERROR_NOT_ENOUGH_MEMORY))
    return call.fail_with<std::uintptr_t>(*e, 0);
  if (start_address == nullptr) return call.fail_with<std::uintptr_t>(ERROR_INVALID_PARAMETER, 0);
  refuse_suspended(call, initflag);
  winsim::SimThread *t = call.world.create_thread(
      call.process, [start_address, arglist] { return start_address(arglist); }, false);
  if (thrdaddr != nullptr) *thrdaddr = t->tid;
  winsim::Trace::Record r;
  r["thread"] = t->tid;
  call.world.record("thread.start", std::move(r));
  return reinterpret_cast<std::uintptr_t>(
      call.process.handles.insert(t->object, THREAD_ALL_ACCESS, false));
}
