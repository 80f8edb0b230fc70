#include "core/FaultSignal.h"

#include <sys/mman.h>

#include <array>
#include <atomic>
#include <mutex>

#if !defined(__x86_64__)
#error "the fault handler resumes threads through x86-64 register state"
#endif

namespace winsim {
namespace {

std::array<std::atomic<FaultCheck>, 4> g_checks{};
struct sigaction g_previous;

// Only async-signal-safe work here. A fault no check claims goes to the previous handler: called
// directly when it is a function (the sanitizers' report), else restored so that the access
// faults again under it.
void on_segv(int signal, siginfo_t *info, void *context) {
  for (auto &slot : g_checks) {
    FaultCheck check = slot.load(std::memory_order_acquire);
    if (check != nullptr && check(*info, *static_cast<ucontext_t *>(context))) return;
  }
  if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
    g_previous.sa_sigaction(signal, info, context);
    return;
  }
  sigaction(SIGSEGV, &g_previous, nullptr);
}

}  // namespace

void add_fault_check(FaultCheck check) {
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  for (auto &slot : g_checks) {
    FaultCheck present = slot.load();
    if (present == check) return;
    if (present == nullptr) {
      slot.store(check, std::memory_order_release);
      break;
    }
  }
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = &on_segv;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &g_previous);
  });
}

void ensure_signal_stack() {
  stack_t current{};
  if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) return;
  constexpr std::size_t kSize = 64u << 10;
  void *memory = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kSize;
  // Kept for the life of the real thread, which may make worlds one after another.
  if (sigaltstack(&stack, nullptr) != 0) munmap(memory, kSize);
}

void resume_in_call(ucontext_t &context, std::uintptr_t stack_top, void (*function)(),
                    std::uintptr_t first, std::uintptr_t second) {
  greg_t *regs = context.uc_mcontext.gregs;
  std::uintptr_t sp = (stack_top & ~std::uintptr_t{15}) - 8;
  *reinterpret_cast<std::uintptr_t *>(sp) = 0;  // no return address: it never returns
  regs[REG_RSP] = static_cast<greg_t>(sp);
  regs[REG_RIP] = reinterpret_cast<greg_t>(function);
  regs[REG_RDI] = static_cast<greg_t>(first);
  regs[REG_RSI] = static_cast<greg_t>(second);
}

}  // namespace winsim
