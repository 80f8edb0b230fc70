// The stack a simulated thread's context runs on: mapped memory with a guard region below it,
// so that running off the end faults at once instead of overwriting whatever lies beneath. The
// guard is larger than any frame the programs make, and the simulated build probes every page
// of a large frame (-fstack-clash-protection), so no frame can step over it.
#pragma once

#include <cstddef>

namespace winsim {

class ThreadStack {
 public:
  ThreadStack(std::size_t size, std::size_t guard);
  ~ThreadStack();
  ThreadStack(const ThreadStack &) = delete;
  ThreadStack &operator=(const ThreadStack &) = delete;

  // The usable part, lowest address first (the stack grows down from bottom() + size()).
  void *bottom() const { return usable_; }
  std::size_t size() const { return size_; }
  // Whether `address` lies in the guard region below the usable part.
  bool in_guard(const void *address) const {
    auto *p = static_cast<const char *>(address);
    return p >= static_cast<const char *>(mapping_) && p < static_cast<const char *>(usable_);
  }

 private:
  void *mapping_ = nullptr;
  std::size_t mapped_ = 0;
  void *usable_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace winsim
