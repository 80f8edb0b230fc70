// A simulated thread that runs off its stack: the access lands in the guard below it, and the
// thread goes on, on the scheduler's spare stack, to end its process as Windows ends one whose
// thread overflowed (STATUS_STACK_OVERFLOW) and to stop the run as a fault of the program.
#include <string>
#include <utility>

#include "core/FaultSignal.h"
#include "core/Process.h"
#include "core/Scheduler.h"
#include "winsim/World.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace winsim {
namespace {

constexpr std::uint32_t kStatusStackOverflow = 0xC00000FD;

[[noreturn]] void stop_for_overflow(SimThread *thread, ThreadStack *spare) {
#if defined(__SANITIZE_ADDRESS__)
  void *fake = nullptr;
  __sanitizer_start_switch_fiber(&fake, spare->bottom(), spare->size());
  __sanitizer_finish_switch_fiber(fake, nullptr, nullptr);
#endif
  thread->stack_bottom = spare->bottom();
  thread->stack_size = spare->size();
  std::string report = "winsim: fault of the program: " + thread->label +
                       " ran off the end of its stack; last call: " + thread->last_call.load() +
                       "\n";
  World::get().end_process(*thread->process, kStatusStackOverflow, ExitPath::Terminated);
  thread->scheduler->stop_current(RunStopped::Reason::ProgramFault, std::move(report));
}

bool stack_overflow(const siginfo_t &info, ucontext_t &context) {
  SimThread *thread = current_thread();
  if (thread == nullptr || thread->host || !thread->stack || !thread->stack->in_guard(info.si_addr))
    return false;
  ThreadStack *spare = thread->scheduler->take_spare_stack();
  if (spare == nullptr) return false;
  auto top = reinterpret_cast<std::uintptr_t>(spare->bottom()) + spare->size();
  resume_in_call(context, top, reinterpret_cast<void (*)()>(&stop_for_overflow),
                 reinterpret_cast<std::uintptr_t>(thread), reinterpret_cast<std::uintptr_t>(spare));
  return true;
}

}  // namespace

void watch_stack_overflows() {
  add_fault_check(&stack_overflow);
}

}  // namespace winsim
