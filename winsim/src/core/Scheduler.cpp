#include "core/Scheduler.h"

#include <pthread.h>

#include <cxxabi.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "core/FaultSignal.h"
#include "core/Process.h"

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace winsim {
namespace {

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
constexpr size_t kSpareStackSize = 1u << 20;
#else
constexpr size_t kStackSize = 2u << 20;
constexpr size_t kSpareStackSize = 256u << 10;
#endif
// Larger than any frame of the programs: a frame that runs off the stack lands in the guard.
constexpr size_t kGuardSize = 64u << 10;

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

// The C++ runtime keeps the exceptions being handled, and the count of those thrown and not
// yet caught, per real thread (the Itanium ABI's __cxa_eh_globals); each simulated thread has
// its own, switched like errno.
struct ExceptionState {
  void *caught;
  unsigned int uncaught;
};
ExceptionState &real_thread_exceptions() {
  return *reinterpret_cast<ExceptionState *>(abi::__cxa_get_globals());
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

// A parked thread's frames go with its stack, and its process's heap is the host's: blocks
// only its frames pointed to stay allocated for good, as blocks the process never freed. The
// leak checker is told so, so that it reports leaks of running code only. The frames' red zones
// are read like any word, as the leak checker reads them.
__attribute__((no_sanitize("address"))) void forget_frames(const SimThread &thread) {
#if defined(__SANITIZE_ADDRESS__)
  if (!thread.stack) return;
  __lsan_ignore_object(thread.saved_caught);  // an exception it was handling, or never caught
  const greg_t *regs = thread.context.uc_mcontext.gregs;
  for (int i = 0; i < NGREG; ++i) __lsan_ignore_object(reinterpret_cast<const void *>(regs[i]));
  auto *bottom = static_cast<void *const *>(thread.stack->bottom());
  auto *top = bottom + thread.stack->size() / sizeof(void *);
  auto *sp = reinterpret_cast<void *const *>(regs[REG_RSP] & ~greg_t{7});
  if (sp < bottom || sp >= top) sp = bottom;  // it left the stack: every word may be a frame's
  for (; sp < top; ++sp) __lsan_ignore_object(*sp);
#else
  (void)thread;
#endif
}

std::int64_t cpu_ms(clockid_t clock) {
  timespec ts{};
  if (clock_gettime(clock, &ts) != 0) return 0;
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

Scheduler::Scheduler() {
  if (const char *limit = std::getenv("WINSIM_BUSY_LIMIT_MS")) stall_limit_ms_ = std::atoll(limit);
  spare_stack_ = std::make_unique<ThreadStack>(kSpareStackSize, kGuardSize);
  watch_stack_overflows();
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
    if (t.get() != host_ && t->state != ThreadState::Finished) forget_frames(*t);
  threads_.clear();
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
  ensure_signal_stack();
  if (pthread_getcpuclockid(pthread_self(), &host_clock_) == 0) host_clock_known_ = true;
  return host_;
}

SimThread *Scheduler::create(Process *process, std::uint32_t tid, std::string label,
                             std::function<DWORD()> body) {
  reap();
  auto t = std::make_unique<SimThread>(tid, process, false);
  t->label = std::move(label);
  t->scheduler = this;
  t->body = std::move(body);
  t->state = ThreadState::Ready;
  t->stack = std::make_unique<ThreadStack>(kStackSize, kGuardSize);
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
// Nothing on the way to its body catches: an exception the body lets escape finds no handler,
// so the C++ runtime calls std::terminate with the thrower's frames still in place.
void Scheduler::entry() {
  SimThread *self = current_thread();
  sanitizer_arrives(*self);
  errno = 0;
  real_thread_exceptions() = ExceptionState{nullptr, 0};
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
  if (thread == host_ && waiting(*thread) && why == Wake::Signalled) host_first_ = true;
  if (thread->timeout_pending) {
    // Its time-out came at this instant, but it has not run since: the signal is in time.
    thread->timeout_pending = false;
    thread->wake = why;
    return;
  }
  if (thread->state != ThreadState::Blocked) return;
  remove_timer(thread);
  thread->state = ThreadState::Ready;
  thread->wake = why;
  if (thread != host_) ready_.push_back(thread);
}

void Scheduler::yield() {
  SimThread *self = current_;
  if (ready_.empty() || self->loading) return;
  self->state = ThreadState::Ready;
  if (self != host_) ready_.push_back(self);
  SimThread *next = pick_next();
  if (next != self) switch_to(next);
  resumed(self);
}

void Scheduler::switch_point() {
  if (rng_ && current_ != host_ && !ready_.empty() && (*rng_)() % 4 == 0) yield();
}

void Scheduler::park(SimThread *thread) {
  if (thread == current_) return;
  if (thread->state == ThreadState::Ready)
    unready(thread);
  else if (thread->state == ThreadState::Blocked)
    remove_timer(thread);
  thread->timeout_pending = false;
  if (cancel_wait) cancel_wait(thread);
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

void Scheduler::reap() {
  auto gone = [this](const std::unique_ptr<SimThread> &t) {
    return t.get() != current_ && (t->state == ThreadState::Finished ||
                                   (t->state == ThreadState::Parked && t->process->ended));
  };
  if (std::none_of(threads_.begin(), threads_.end(), gone)) return;
  std::lock_guard<std::mutex> lock(records_mutex_);
  std::erase_if(threads_, [&](const std::unique_ptr<SimThread> &t) {
    if (!gone(t)) return false;
    if (t->state == ThreadState::Parked) forget_frames(*t);
    return true;
  });
}

void Scheduler::set_seed(std::uint64_t seed) {
  rng_.emplace(seed);
}

void Scheduler::check_stop() {
  progress_.fetch_add(1, std::memory_order_relaxed);
  SimThread *self = current_;
  if (self != host_ && !stopped_) {
    if (self->stretch != stretch_) {
      self->stretch = stretch_;
      self->stretch_calls = 0;
    }
    ++self->stretch_calls;
    if (++stretch_calls_ > busy_calls_) stop(RunStopped::Reason::BusyLoop, busy_report());
  }
  if (!stopped_ || self->loading) return;
  if (self == host_) throw *stopped_;
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

ThreadStack *Scheduler::take_spare_stack() {
  if (spare_taken_) return nullptr;
  spare_taken_ = true;
  return spare_stack_.get();
}

SimThread *Scheduler::pick_next() {
  for (;;) {
    if (stopped_) {
      host_first_ = false;
      if (host_->state == ThreadState::Blocked) remove_timer(host_);
      host_->timeout_pending = false;
      if (cancel_wait) cancel_wait(host_);
      host_->wake = Wake::Stopped;
      host_->state = ThreadState::Running;
      return host_;
    }
    // The host runs next when a signal ended its wait; else once the world is at rest, at the
    // same instant.
    if (host_->state == ThreadState::Ready && (host_first_ || ready_.empty())) {
      host_first_ = false;
      if (host_->timeout_pending) {
        host_->timeout_pending = false;
        if (cancel_wait) cancel_wait(host_);
      }
      host_->state = ThreadState::Running;
      at_rest();
      return host_;
    }
    if (!ready_.empty()) return take_ready();
    if (!timers_.empty()) {
      fire_timers();
      continue;
    }
    stop(RunStopped::Reason::Deadlock, deadlock_report());
  }
}

SimThread *Scheduler::take_ready() {
  std::size_t index = rng_ ? (*rng_)() % ready_.size() : 0;
  SimThread *next = ready_[index];
  ready_.erase(ready_.begin() + static_cast<std::ptrdiff_t>(index));
  if (next->timeout_pending) {
    next->timeout_pending = false;
    if (cancel_wait) cancel_wait(next);
  }
  next->state = ThreadState::Running;
  return next;
}

// Moves the clock to the earliest deadline and makes every thread due then ready. Without a
// seed a thread's time-out ends its wait at once, so it wins over a signal made at the same
// instant; with one, its wait stays open until it runs, and the seed decides whether a thread
// that signals at that instant runs first. The host's wait always stays open: it runs once
// the instant is over, and sees what happened in it.
void Scheduler::fire_timers() {
  now_ = timers_.begin()->deadline;
  at_rest();
  while (!timers_.empty() && timers_.begin()->deadline <= now_) {
    SimThread *t = timers_.begin()->thread;
    timers_.erase(timers_.begin());
    t->deadline.reset();
    t->state = ThreadState::Ready;
    t->wake = Wake::Timeout;
    if (t->wait != nullptr && (rng_ || t == host_))
      t->timeout_pending = true;
    else if (cancel_wait)
      cancel_wait(t);
    if (t != host_) ready_.push_back(t);
  }
}

// Saves the current thread's context and resumes `next`'s. Returns when a later switch
// resumes the current thread; never for one that finished or was parked.
void Scheduler::switch_to(SimThread *next) {
  SimThread *self = current_;
  current_ = next;
  running_.store(next, std::memory_order_release);
  progress_.fetch_add(1, std::memory_order_relaxed);
  set_current_thread(next);
  self->saved_errno = errno;
  ExceptionState &exceptions = real_thread_exceptions();
  self->saved_caught = exceptions.caught;
  self->saved_uncaught = exceptions.uncaught;
  bool returns = self->state != ThreadState::Finished && self->state != ThreadState::Parked;
  sanitizer_leaves(returns ? &self->fake_stack : nullptr, *next);
  switch_context(&self->context, &next->context);
  sanitizer_arrives(*self);
  exceptions = ExceptionState{self->saved_caught, self->saved_uncaught};
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

// A new stretch: the world came to rest or the clock moved.
void Scheduler::at_rest() {
  ++stretch_;
  stretch_calls_ = 0;
}

void Scheduler::remove_timer(SimThread *thread) {
  if (!thread->deadline) return;
  timers_.erase(Timer{*thread->deadline, thread->timer_seq, thread});
  thread->deadline.reset();
}

void Scheduler::unready(SimThread *thread) {
  auto it = std::find(ready_.begin(), ready_.end(), thread);
  if (it != ready_.end()) ready_.erase(it);
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

std::string Scheduler::busy_report() const {
  std::string report = "winsim: busy loop: at " + format_ms(now_) + " the simulated threads made " +
                       std::to_string(stretch_calls_) +
                       " calls without the clock moving or the world coming to rest\n";
  std::vector<const SimThread *> busy;
  for (const auto &t : threads_)
    if (!t->host && t->stretch == stretch_ && t->stretch_calls > 0) busy.push_back(t.get());
  std::stable_sort(busy.begin(), busy.end(), [](const SimThread *a, const SimThread *b) {
    return a->stretch_calls > b->stretch_calls;
  });
  for (const SimThread *t : busy)
    report += "  " + t->label + ": " + std::to_string(t->stretch_calls) + " calls, the last one " +
              t->last_call.load() + "\n";
  return report;
}

void Scheduler::watch() {
  std::unique_lock<std::mutex> lock(watch_mutex_);
  std::uint64_t seen = progress_.load(std::memory_order_acquire);
  std::int64_t stalled_since = 0;
  while (!watch_cv_.wait_for(lock, std::chrono::milliseconds(50), [this] { return watch_end_; })) {
    if (!host_clock_known_.load(std::memory_order_acquire)) continue;
    std::uint64_t progress = progress_.load(std::memory_order_acquire);
    std::int64_t spent = cpu_ms(host_clock_);
    if (progress != seen) {
      seen = progress;
      stalled_since = spent;
      continue;
    }
    if (spent - stalled_since < stall_limit_ms_.load()) continue;
    std::lock_guard<std::mutex> records(records_mutex_);
    SimThread *t = running_.load(std::memory_order_acquire);
    if (progress_.load(std::memory_order_acquire) != seen || t == nullptr || t->host) {
      stalled_since = spent;
      continue;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(spent - stalled_since) / 1e3);
    std::fprintf(stderr,
                 "winsim: busy loop: %s has run for %s of processor time without a winsim call "
                 "(virtual time stands still); last call: %s\n  it makes no further winsim "
                 "call; ending the test process\n",
                 t->label.c_str(), buf, t->last_call.load());
    std::fflush(stderr);
    std::_Exit(3);
  }
}

}  // namespace winsim
