// A simulated thread: a real thread that runs only while it holds its baton. The scheduler
// hands the baton from thread to thread, so exactly one simulated thread runs at a time.
#pragma once

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Baton.h"
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
  Baton baton;

  // While blocked: what it waits in (for deadlock reports), its deadline, its wait block.
  std::string blocked_in;
  std::optional<std::uint64_t> deadline;
  std::uint64_t timer_seq = 0;
  WaitBlock *wait = nullptr;
  Wake wake = Wake::None;
  DWORD wait_result = 0;

  // Running state.
  DWORD last_error = 0;
  std::atomic<const char *> last_call{""};
  std::chrono::steady_clock::time_point unblocked_at;  // start of its current running stretch
  bool yielded = false;
  bool loading = false;  // inside the dynamic loader, which holds its lock: it keeps running

  // The body run on the real thread, and the real thread.
  std::function<DWORD()> body;
  bool main_thread = false;
  pthread_t real{};
  bool started = false;

  // Mutexes this thread owns; they are abandoned when it ends.
  std::vector<std::shared_ptr<Object>> owned_mutexes;

  // Per-thread runtime state of the C library functions the programs use.
  struct tm tm_buffer {};
};

// The simulated thread the calling real thread is, or null for a real thread outside the world.
SimThread *current_thread();
void set_current_thread(SimThread *thread);

}  // namespace winsim
