#include "core/Scheduler.h"

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace winsim {
namespace {

// Threads whose process ended while they were blocked never run again, as on Windows: no code
// of theirs runs after the end. Their contexts and stacks are kept for the rest of the test
// process, since objects of the world may still point into their frames.
std::vector<std::unique_ptr<SimThread>> &graveyard() {
  static auto *parked = new std::vector<std::unique_ptr<SimThread>>();
  return *parked;
}

std::int64_t steady_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string format_ms(std::uint64_t t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%llu.%03llu s", static_cast<unsigned long long>(t / 1000),
                static_cast<unsigned long long>(t % 1000));
  return buf;
}

// The thread would give up the processor inside the loader; no other thread could use the
// loader after it, so the run cannot go on in this host process.
[[noreturn]] void stuck_in_loader(const SimThread &thread, const std::string &what) {
  std::fprintf(stderr,
               "winsim: %s %s while its program image was being loaded or unloaded (in a static "
               "constructor); no thread can run while the loader is busy: ending the test "
               "process\n",
               thread.label.c_str(), what.c_str());
  std::fflush(stderr);
  std::_Exit(3);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kStackSize = 8u << 20;
#else
constexpr size_t kStackSize = 2u << 20;
#endif

// AddressSanitizer must be told when the real thread moves to another stack, or it takes the
// new stack's frames for overflows of the old one. `save` keeps the leaving thread's fake
// stack (null when it never runs again, which frees it).
void sanitizer_leaves(void **save, const SimThread &to) {
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_start_switch_fiber(save, to.stack_bottom, to.stack_size);
#else
  (void)save;
  (void)to;
#endif
}

void sanitizer_arrives(const SimThread &self) {
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_finish_switch_fiber(self.fake_stack, nullptr, nullptr);
#else
  (void)self;
#endif
}

// Switches contexts. AddressSanitizer's replacement of swapcontext clears the shadow of the
// target stack and warns on standard error that it cannot follow the switch; with the
// annotations above it can, the stacks' shadow is kept clean by ThreadStack, and the warning
// would be output that no program made. So that build calls the C library's own function.
void switch_context(ucontext_t *save, const ucontext_t *resume) {
#if defined(__SANITIZE_ADDRESS__)
  using SwapContext = int (*)(ucontext_t *, const ucontext_t *);
  static const auto c_library_swap = reinterpret_cast<SwapContext>(dlsym(RTLD_NEXT, "swapcontext"));
  c_library_swap(save, resume);
#else
  swapcontext(save, resume);
#endif
}

// The bounds of the calling real thread's stack, where the host thread runs.
void real_stack_bounds(SimThread &host) {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return;
  void *bottom = nullptr;
  size_t size = 0;
  if (pthread_attr_getstack(&attr, &bottom, &size) == 0) {
    host.stack_bottom = bottom;
    host.stack_size = size;
  }
  pthread_attr_destroy(&attr);
}

}  // namespace

Scheduler::Scheduler() {
  if (const char *limit = std::getenv("WINSIM_BUSY_LIMIT_MS")) busy_limit_ms_ = std::atoll(limit);
  watchdog_ = std::thread([this] { watch(); });
}

Scheduler::~Scheduler() {
  {
    std::lock_guard<std::mutex> lock(watch_mutex_);
    watch_end_ = true;
  }
  watch_cv_.notify_all();
  watchdog_.join();
  for (auto &t : threads_)
    if (t.get() != host_ && t->state != ThreadState::Finished) graveyard().push_back(std::move(t));
  if (host_ != nullptr) set_current_thread(nullptr);
}

SimThread *Scheduler::attach_host(Process *process, std::uint32_t tid, std::string label) {
  auto t = std::make_unique<SimThread>(tid, process, true);
  t->label = std::move(label);
  t->scheduler = this;
  t->state = ThreadState::Running;
  real_stack_bounds(*t);
  host_ = t.get();
  current_ = host_;
  running_ = host_;
  set_current_thread(host_);
  threads_.push_back(std::move(t));
  return host_;
}

SimThread *Scheduler::create(Process *process, std::uint32_t tid, std::string label,
                             std::function<DWORD()> body) {
  reap_finished();
  auto t = std::make_unique<SimThread>(tid, process, false);
  t->label = std::move(label);
  t->scheduler = this;
  t->body = std::move(body);
  t->state = ThreadState::Ready;
  t->stack = std::make_unique<ThreadStack>(kStackSize);
  t->stack_bottom = t->stack->bottom();
  t->stack_size = t->stack->size();
  if (getcontext(&t->context) != 0) {
    std::perror("winsim: cannot make a context for a thread");
    std::abort();
  }
  t->context.uc_stack.ss_sp = t->stack->bottom();
  t->context.uc_stack.ss_size = t->stack->size();
  t->context.uc_link = nullptr;
  makecontext(&t->context, &Scheduler::entry, 0);
  SimThread *raw = t.get();
  ready_.push_back(raw);
  threads_.push_back(std::move(t));
  return raw;
}

// Where a new thread's context begins; the switch that got here made it the current thread.
void Scheduler::entry() {
  SimThread *self = current_thread();
  sanitizer_arrives(*self);
  errno = 0;
  Scheduler *s = self->scheduler;
  s->resumed(self);
  self->body();
  s->finish_current();
}

Wake Scheduler::block(std::string what, std::optional<std::uint64_t> deadline) {
  SimThread *self = current_;
  if (self->loading) stuck_in_loader(*self, "waits in " + what);
  if (stopped_) resumed(self);
  self->state = ThreadState::Blocked;
  self->blocked_in = std::move(what);
  self->deadline = deadline;
  self->wake = Wake::None;
  if (deadline) {
    self->timer_seq = ++timer_seq_;
    timers_.insert(Timer{*deadline, self->timer_seq, self});
  }
  SimThread *next = pick_next();
  if (next != self) switch_to(next);
  resumed(self);
  return self->wake;
}

void Scheduler::wake(SimThread *thread, Wake why) {
  if (thread->state != ThreadState::Blocked) return;
  remove_timer(thread);
  thread->state = ThreadState::Ready;
  thread->wake = why;
  ready_.push_back(thread);
}

void Scheduler::yield() {
  SimThread *self = current_;
  if (ready_.empty() || self->loading) return;
  self->state = ThreadState::Ready;
  self->yielded = true;
  ready_.push_back(self);
  SimThread *next = pick_next();
  if (next != self) switch_to(next);
  self->yielded = false;
  resumed(self);
}

void Scheduler::switch_point() {
  if (rng_ && !ready_.empty() && (*rng_)() % 4 == 0) yield();
}

void Scheduler::park(SimThread *thread) {
  if (thread == current_) return;
  if (thread->state == ThreadState::Ready) {
    for (auto it = ready_.begin(); it != ready_.end(); ++it)
      if (*it == thread) {
        ready_.erase(it);
        break;
      }
  } else if (thread->state == ThreadState::Blocked) {
    remove_timer(thread);
    if (cancel_wait) cancel_wait(thread);
  }
  if (thread->state != ThreadState::Finished) thread->state = ThreadState::Parked;
}

void Scheduler::park_current() {
  SimThread *self = current_;
  if (self->loading) stuck_in_loader(*self, "ended");
  self->state = ThreadState::Parked;
  switch_to(pick_next());
  // Nothing switches to a parked thread again.
  std::abort();
}

void Scheduler::finish_current() {
  SimThread *self = current_;
  self->state = ThreadState::Finished;
  switch_to(pick_next());
  std::abort();
}

void Scheduler::set_seed(std::uint64_t seed) {
  rng_.emplace(seed);
}

void Scheduler::set_busy_limit(std::chrono::milliseconds limit) {
  busy_limit_ms_ = limit.count();
}

void Scheduler::check_stop() {
  if (busy_pending_.load(std::memory_order_acquire) && !stopped_) {
    std::string report;
    {
      std::lock_guard<std::mutex> lock(busy_mutex_);
      report = busy_report_;
    }
    stop(RunStopped::Reason::BusyLoop, report);
  }
  if (!stopped_ || current_->loading) return;
  if (current_ == host_) throw *stopped_;
  park_current();
}

void Scheduler::stop_run(RunStopped::Reason reason, std::string report) {
  stop(reason, std::move(report));
}

void Scheduler::stop_current(RunStopped::Reason reason, std::string report) {
  stop(reason, std::move(report));
  if (current_ == host_) throw *stopped_;
  park_current();
}

SimThread *Scheduler::pick_next() {
  for (;;) {
    if (stopped_) {
      if (host_->state == ThreadState::Blocked) {
        remove_timer(host_);
        if (cancel_wait) cancel_wait(host_);
      } else if (host_->state == ThreadState::Ready) {
        for (auto it = ready_.begin(); it != ready_.end(); ++it)
          if (*it == host_) {
            ready_.erase(it);
            break;
          }
      }
      host_->wake = Wake::Stopped;
      host_->state = ThreadState::Running;
      return host_;
    }
    if (!ready_.empty()) {
      size_t index = rng_ ? (*rng_)() % ready_.size() : 0;
      SimThread *next = ready_[index];
      ready_.erase(ready_.begin() + static_cast<std::ptrdiff_t>(index));
      next->state = ThreadState::Running;
      return next;
    }
    if (!timers_.empty()) {
      now_ = timers_.begin()->deadline;
      while (!timers_.empty() && timers_.begin()->deadline <= now_) {
        SimThread *t = timers_.begin()->thread;
        timers_.erase(timers_.begin());
        if (cancel_wait) cancel_wait(t);
        t->state = ThreadState::Ready;
        t->wake = Wake::Timeout;
        ready_.push_back(t);
      }
      continue;
    }
    stop(RunStopped::Reason::Deadlock, deadlock_report());
  }
}

// Saves the current thread's context and resumes `next`'s. Returns when a later switch
// resumes the current thread; never for one that finished or was parked.
void Scheduler::switch_to(SimThread *next) {
  SimThread *self = current_;
  // A thread that yielded goes on with its running stretch; any other starts a new one.
  if (!next->yielded) next->unblocked_at = std::chrono::steady_clock::now();
  current_ = next;
  running_.store(next, std::memory_order_release);
  running_since_ns_.store(
      std::chrono::duration_cast<std::chrono::nanoseconds>(next->unblocked_at.time_since_epoch())
          .count(),
      std::memory_order_release);
  set_current_thread(next);
  self->saved_errno = errno;
  bool returns = self->state != ThreadState::Finished && self->state != ThreadState::Parked;
  sanitizer_leaves(returns ? &self->fake_stack : nullptr, *next);
  switch_context(&self->context, &next->context);
  sanitizer_arrives(*self);
  errno = self->saved_errno;
}

void Scheduler::resumed(SimThread *self) {
  if (!stopped_) return;
  if (self == host_) throw *stopped_;
  park_current();
}

void Scheduler::stop(RunStopped::Reason reason, std::string report) {
  if (stopped_) return;
  stopped_.emplace(reason, std::move(report));
}

// Frees the records and stacks of finished threads, so that a run of many short processes
// holds only the threads that still live. None of them is running: a thread that finishes
// switches away for good.
void Scheduler::reap_finished() {
  std::erase_if(threads_, [](const std::unique_ptr<SimThread> &t) {
    return t->state == ThreadState::Finished;
  });
}

void Scheduler::remove_timer(SimThread *thread) {
  if (!thread->deadline) return;
  timers_.erase(Timer{*thread->deadline, thread->timer_seq, thread});
  thread->deadline.reset();
}

std::string Scheduler::deadlock_report() const {
  std::string report = "winsim: deadlock at " + format_ms(now_) +
                       ": every thread is blocked and none has a deadline\n";
  for (const auto &t : threads_) {
    if (t->state != ThreadState::Blocked) continue;
    report += "  " + t->label + " waits in " + t->blocked_in + "\n";
  }
  return report;
}

void Scheduler::watch() {
  std::unique_lock<std::mutex> lock(watch_mutex_);
  std::int64_t reported_since = 0;
  while (!watch_cv_.wait_for(lock, std::chrono::milliseconds(50), [this] { return watch_end_; })) {
    SimThread *t = running_.load(std::memory_order_acquire);
    if (t == nullptr || t->host) continue;
    std::int64_t since = running_since_ns_.load(std::memory_order_acquire);
    std::int64_t limit_ns = busy_limit_ms_.load() * 1000000;
    std::int64_t ran = steady_ns() - since;
    if (ran < limit_ns) continue;
    if (!busy_pending_.load()) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(ran) / 1e9);
      std::lock_guard<std::mutex> guard(busy_mutex_);
      busy_report_ = "winsim: busy loop: " + t->label + " has run for " + buf +
                     " of real time without blocking (virtual time stands still); last call: " +
                     t->last_call.load() + "\n";
      busy_pending_.store(true, std::memory_order_release);
      reported_since = since;
    } else if (since == reported_since && ran >= 2 * limit_ns) {
      // The thread makes no emulated call at all, so it cannot be stopped from inside.
      std::lock_guard<std::mutex> guard(busy_mutex_);
      std::fprintf(stderr, "%s  it makes no further winsim call; ending the test process\n",
                   busy_report_.c_str());
      std::fflush(stderr);
      std::_Exit(3);
    }
  }
}

}  // namespace winsim
