// The stack a simulated thread's context runs on: mapped memory with a guard page below it, so
// that running off the end faults at once instead of overwriting whatever lies beneath.
//
// In a build with AddressSanitizer the stack is also a root region of the leak checker: a
// thread whose process ended while it was blocked never runs again, but the blocks its frames
// point to are still in use, as they were on a parked real thread.
#pragma once

#include <cstddef>

namespace winsim {

class ThreadStack {
 public:
  explicit ThreadStack(std::size_t size);
  ~ThreadStack();
  ThreadStack(const ThreadStack &) = delete;
  ThreadStack &operator=(const ThreadStack &) = delete;

  // The usable part, lowest address first (the stack grows down from bottom() + size()).
  void *bottom() const { return usable_; }
  std::size_t size() const { return size_; }

 private:
  void *mapping_ = nullptr;
  std::size_t mapped_ = 0;
  void *usable_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace winsim
