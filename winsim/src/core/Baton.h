// The right to run, handed from one simulated thread to the next. A thread that waits for its
// baton spins briefly first: a hand-over between two threads that ping-pong (the common case)
// then costs no system call. After the spin it sleeps on a futex until the baton is given.
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace winsim {

class Baton {
 public:
  void give() {
    if (state_.exchange(kGiven, std::memory_order_release) == kSleeping)
      futex(FUTEX_WAKE_PRIVATE, 1);
  }

  void take() {
    for (int spin = 0; spin < kSpins; ++spin) {
      if (try_take()) return;
      relax();
    }
    for (;;) {
      if (try_take()) return;
      int expected = kEmpty;
      if (state_.compare_exchange_strong(expected, kSleeping, std::memory_order_relaxed) ||
          expected == kSleeping)
        futex(FUTEX_WAIT_PRIVATE, kSleeping);
    }
  }

 private:
  static constexpr int kEmpty = 0;
  static constexpr int kGiven = 1;
  static constexpr int kSleeping = 2;
  static constexpr int kSpins = 1000;

  bool try_take() {
    int expected = kGiven;
    return state_.load(std::memory_order_relaxed) == kGiven &&
           state_.compare_exchange_strong(expected, kEmpty, std::memory_order_acquire);
  }

  void futex(int op, int value) {
    syscall(SYS_futex, reinterpret_cast<int *>(&state_), op, value, nullptr, nullptr, 0);
  }

  static void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

  std::atomic<int> state_{kEmpty};
  static_assert(sizeof(std::atomic<int>) == sizeof(int), "the futex word is the atomic itself");
};

}  // namespace winsim
