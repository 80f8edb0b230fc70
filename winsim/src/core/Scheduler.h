// Runs simulated threads one at a time on virtual time.
//
// A thread gives up the processor only inside winsim calls: when it blocks (a wait that cannot
// be satisfied, a sleep), when it yields, and, once a seed is set, at randomly chosen calls.
// The clock moves only when no thread can run: it jumps to the earliest deadline. No thread
// able to run and no deadline is a deadlock; a thread that runs for a long real time without
// blocking is a busy loop. Both stop the run and are reported on the host thread.
//
// A thread inside the dynamic loader (loading or unloading a program image) keeps the
// processor: it offers no switch points and acts on a stop only afterwards, since the loader's
// lock is held meanwhile. Should it block or end there, winsim cannot go on and ends the host
// process with a report.
#pragma once

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
  // Threads that have not finished, and finished ones not freed yet.
  std::size_t thread_records() const { return threads_.size(); }

  // The current thread blocks until another thread wakes it or the deadline passes.
  Wake block(std::string what, std::optional<std::uint64_t> deadline);
  // A blocked thread becomes ready (its wait blocks are the caller's business).
  void wake(SimThread *thread, Wake why);
  void yield();
  // A switch point of an emulated call: with a seed, sometimes lets another thread run.
  void switch_point();
  // `thread` (not the current one) never runs again; used when its process ends.
  void park(SimThread *thread);
  [[noreturn]] void park_current();
  // The current thread's body has returned: hand over the processor for good.
  void finish_current();

  // Called with each thread whose wait ends without being satisfied (time-out or stop), so
  // that its wait blocks are removed from the objects' waiter lists.
  std::function<void(SimThread *)> cancel_wait;

  void set_seed(std::uint64_t seed);
  void set_busy_limit(std::chrono::milliseconds limit);
  // Stops the run for a reason found outside the scheduler; the current thread learns so at
  // its next check_stop.
  void stop_run(RunStopped::Reason reason, std::string report);
  // Called at the start of every emulated call: acts on a stop of the run.
  void check_stop();
  // Stops the run because of what the current thread did: a simulated thread never runs
  // again and the host gets the report; on the host itself the report is thrown at once.
  [[noreturn]] void stop_current(RunStopped::Reason reason, std::string report);
  bool stopped() const { return stopped_.has_value(); }
  std::string stop_report() const { return stopped_ ? stopped_->what() : std::string(); }

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
  void switch_to(SimThread *next);
  void resumed(SimThread *self);
  void stop(RunStopped::Reason reason, std::string report);
  void reap_finished();
  void remove_timer(SimThread *thread);
  std::string deadlock_report() const;
  void watch();
  static void entry();

  std::vector<std::unique_ptr<SimThread>> threads_;
  std::deque<SimThread *> ready_;
  std::set<Timer> timers_;
  std::uint64_t now_ = 0;
  std::uint64_t timer_seq_ = 0;
  SimThread *current_ = nullptr;
  SimThread *host_ = nullptr;
  std::optional<std::mt19937_64> rng_;
  std::optional<RunStopped> stopped_;

  // Busy-loop watchdog: a real thread that looks at the running thread from outside.
  std::atomic<SimThread *> running_{nullptr};
  std::atomic<std::int64_t> running_since_ns_{0};
  std::atomic<std::int64_t> busy_limit_ms_{10000};
  std::atomic<bool> busy_pending_{false};
  std::mutex busy_mutex_;
  std::string busy_report_;
  std::mutex watch_mutex_;
  std::condition_variable watch_cv_;
  bool watch_end_ = false;
  std::thread watchdog_;
};

}  // namespace winsim
