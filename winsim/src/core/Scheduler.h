// Runs simulated threads one at a time on virtual time.
//
// A thread gives up the processor only inside winsim calls: when it blocks (a wait that cannot
// be satisfied, a sleep), when it yields, and, once a seed is set, at randomly chosen calls.
// The clock moves only when no thread can run: it jumps to the earliest deadline. No thread
// able to run and no deadline is a deadlock; threads that keep making calls while the clock
// stands still are a busy loop. Both stop the run and are reported on the host thread.
//
// The host thread (the test, or the scenario runner) has a fixed place in every order. When the
// clock brings it back (run_for, a sleep, a time-out) it runs once the world is at rest, so what
// it finds at a virtual time is everything that happened up to and at that time, however it
// stepped the clock there. When a signal ends its wait (a process it waits for ends, a service
// it starts connects), it runs as soon as the signalling thread gives up the processor, and
// sees what the signal told it before others react. Without a seed, threads that become
// ready at one instant run in the order they became ready, and a time-out due at the same
// instant as a signal wins; with a seed, the seed picks among them: which ready thread runs,
// which waiter of an object is served first, and whether a signal made at the instant of a
// waiter's time-out still reaches it.
//
// A thread inside the dynamic loader (loading or unloading a program image) keeps the
// processor: it offers no switch points and acts on a stop only afterwards, since the loader's
// lock is held meanwhile. Should it block or end there, winsim cannot go on and ends the host
// process with a report.
#pragma once

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/SimThread.h"
#include "winsim/RunStopped.h"

namespace winsim {

class Scheduler {
 public:
  Scheduler();
  ~Scheduler();
  Scheduler(const Scheduler &) = delete;
  Scheduler &operator=(const Scheduler &) = delete;

  // The calling real thread becomes the host thread: the one the test or the scenario runner
  // drives the world from. It is running from now on.
  SimThread *attach_host(Process *process, std::uint32_t tid, std::string label);
  // A new thread, ready to run `body` once the scheduler picks it.
  SimThread *create(Process *process, std::uint32_t tid, std::string label,
                    std::function<DWORD()> body);

  SimThread *current() const { return current_; }
  SimThread *host() const { return host_; }
  std::uint64_t now() const { return now_; }
  // Threads that have not finished, and finished or parked ones not freed yet.
  std::size_t thread_records() const { return threads_.size(); }

  // The current thread blocks until another thread wakes it or the deadline passes.
  Wake block(std::string what, std::optional<std::uint64_t> deadline);
  // A waiting thread becomes ready (its wait blocks are the caller's business): a blocked one,
  // or one whose time-out is due but that has not run since.
  void wake(SimThread *thread, Wake why);
  // Whether a signal may still satisfy the thread's wait.
  static bool waiting(const SimThread &thread) {
    return thread.state == ThreadState::Blocked || thread.timeout_pending;
  }
  void yield();
  // A switch point of an emulated call: with a seed, sometimes lets another thread run.
  void switch_point();
  // `thread` (not the current one) never runs again; used when its process ends.
  void park(SimThread *thread);
  [[noreturn]] void park_current();
  // The current thread's body has returned: hand over the processor for good.
  [[noreturn]] void finish_current();
  // Frees the records and stacks of the threads that finished, and of those parked whose
  // process has ended, except the current one. Nothing may point into such a parked thread's
  // frames any more: its wait was cancelled when it was parked, and its process's critical
  // sections are forgotten.
  void reap();

  // Called with each thread whose wait ends without being satisfied (time-out or stop), so
  // that its wait blocks are removed from the objects' waiter lists.
  std::function<void(SimThread *)> cancel_wait;

  void set_seed(std::uint64_t seed);
  bool seeded() const { return rng_.has_value(); }
  // With a seed, puts `items` in an order the seed picks; without one, leaves them as they are.
  template <typename T>
  void shuffle(std::vector<T> &items) {
    if (rng_ && items.size() > 1) std::shuffle(items.begin(), items.end(), *rng_);
  }
  // Emulated calls the simulated threads may make while the world does not come to rest and
  // the clock stands still, before they count as a busy loop.
  void set_busy_limit(std::uint64_t calls) { busy_calls_ = calls; }
  // Stops the run for a reason found outside the scheduler; the current thread learns so at
  // its next check_stop.
  void stop_run(RunStopped::Reason reason, std::string report);
  // Called at the start of every emulated call: counts it and acts on a stop of the run.
  void check_stop();
  // Stops the run because of what the current thread did: a simulated thread never runs
  // again and the host gets the report; on the host itself the report is thrown at once.
  [[noreturn]] void stop_current(RunStopped::Reason reason, std::string report);
  bool stopped() const { return stopped_.has_value(); }
  std::string stop_report() const { return stopped_ ? stopped_->what() : std::string(); }

  // The current thread ran into the guard below its stack and now runs on this spare stack,
  // where it stops the run (StackOverflow.cpp); null when the spare stack is taken.
  ThreadStack *take_spare_stack();

 private:
  struct Timer {
    std::uint64_t deadline;
    std::uint64_t seq;
    SimThread *thread;
    bool operator<(const Timer &o) const {
      return deadline != o.deadline ? deadline < o.deadline : seq < o.seq;
    }
  };

  SimThread *pick_next();
  SimThread *take_ready();
  void fire_timers();
  void switch_to(SimThread *next);
  void resumed(SimThread *self);
  void stop(RunStopped::Reason reason, std::string report);
  void at_rest();
  void remove_timer(SimThread *thread);
  void unready(SimThread *thread);
  std::string deadlock_report() const;
  std::string busy_report() const;
  void watch();
  static void entry();

  std::vector<std::unique_ptr<SimThread>> threads_;
  std::deque<SimThread *> ready_;  // simulated threads only: the host runs when none is ready
  std::set<Timer> timers_;
  std::uint64_t now_ = 0;
  std::uint64_t timer_seq_ = 0;
  SimThread *current_ = nullptr;
  SimThread *host_ = nullptr;
  std::optional<std::mt19937_64> rng_;
  std::optional<RunStopped> stopped_;
  bool host_first_ = false;  // a signal ended the host's wait: it runs next
  std::unique_ptr<ThreadStack> spare_stack_;
  bool spare_taken_ = false;

  // Busy loops: calls of simulated threads since the world was last at rest or the clock
  // last moved (each thread counts its own in the same stretch, for the report).
  std::uint64_t busy_calls_ = 1000000;
  std::uint64_t stretch_calls_ = 0;
  std::uint64_t stretch_ = 1;

  // A thread that loops without any winsim call cannot be stopped from inside: a real thread
  // watches the host's processor time while no call or switch is made, and ends the host
  // process with a report when it passes the limit.
  std::atomic<std::uint64_t> progress_{0};
  std::atomic<SimThread *> running_{nullptr};
  std::atomic<std::int64_t> stall_limit_ms_{10000};
  std::atomic<bool> host_clock_known_{false};
  clockid_t host_clock_{};
  std::mutex records_mutex_;  // the watchdog reads a running thread's record under it
  std::mutex watch_mutex_;
  std::condition_variable watch_cv_;
  bool watch_end_ = false;
  std::thread watchdog_;
};

}  // namespace winsim
