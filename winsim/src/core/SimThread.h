// A simulated thread: a user-mode context with a stack of its own. The scheduler switches the
// real thread that drives the world (the host thread) from context to context, so exactly one
// simulated thread runs at a time and a hand-over costs no system call beyond the context
// switch itself.
#pragma once

#include <ucontext.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ThreadStack.h"
#include "winsim/win32/types.h"

namespace winsim {

class Object;
class Process;
class Scheduler;
class ThreadObject;
struct WaitBlock;

enum class ThreadState { Ready, Running, Blocked, Finished, Parked };
enum class Wake { None, Signalled, Timeout, Stopped };

class SimThread {
 public:
  SimThread(std::uint32_t id, Process *owner, bool host);

  std::uint32_t tid;
  Process *process;
  bool host;
  std::string label;  // "pid 12 (Quillet.exe) tid 16", for reports
  Scheduler *scheduler = nullptr;
  std::shared_ptr<ThreadObject> object;
  ThreadState state = ThreadState::Ready;

  // While blocked: what it waits in (for deadlock reports), its deadline, its wait block.
  std::string blocked_in;
  std::optional<std::uint64_t> deadline;
  std::uint64_t timer_seq = 0;
  WaitBlock *wait = nullptr;
  Wake wake = Wake::None;
  DWORD wait_result = 0;
  // Ready because its time-out came, but a signal made before it runs still satisfies its
  // wait (its wait block stays with the objects meanwhile).
  bool timeout_pending = false;

  // Running state.
  DWORD last_error = 0;
  std::atomic<const char *> last_call{""};
  bool loading = false;  // inside the dynamic loader, which holds its lock: it keeps running
  // Calls it made in the scheduler's current stretch without rest (for busy-loop reports).
  std::uint64_t stretch = 0;
  std::uint64_t stretch_calls = 0;

  // The body, and where it runs: the context saved while the thread does not run, on its own
  // stack (the host thread runs on the real thread's stack and has none here). errno and the
  // C++ runtime's exceptions in flight belong to the real thread, so each simulated thread
  // keeps its own across a switch.
  std::function<DWORD()> body;
  bool main_thread = false;
  ucontext_t context{};
  std::unique_ptr<ThreadStack> stack;
  int saved_errno = 0;
  void *saved_caught = nullptr;
  unsigned saved_uncaught = 0;
  // AddressSanitizer's view of the switch: the stack it runs on, and its saved fake stack.
  const void *stack_bottom = nullptr;
  std::size_t stack_size = 0;
  void *fake_stack = nullptr;

  // Mutexes this thread owns; they are abandoned when it ends.
  std::vector<std::shared_ptr<Object>> owned_mutexes;

  // Per-thread runtime state of the C library functions the programs use: the result of
  // localtime and gmtime, and the text of ctime.
  struct tm tm_buffer {};
  char text_buffer[32] = {};
};

// The simulated thread running on the calling real thread, or null for a real thread outside
// the world.
SimThread *current_thread();
void set_current_thread(SimThread *thread);

}  // namespace winsim
