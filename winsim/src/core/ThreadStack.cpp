#include "core/ThreadStack.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace winsim {

ThreadStack::ThreadStack(std::size_t size, std::size_t guard) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  size_ = (size + page - 1) / page * page;
  const std::size_t guard_size = (guard + page - 1) / page * page;
  mapped_ = size_ + guard_size;
  mapping_ = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE,
                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (mapping_ == MAP_FAILED || mprotect(mapping_, guard_size, PROT_NONE) != 0) {
    std::perror("winsim: cannot map a thread's stack");
    std::abort();
  }
  usable_ = static_cast<char *>(mapping_) + guard_size;
#if defined(__SANITIZE_ADDRESS__)
  // The leak checker looks for pointers to heap blocks in the stack while the thread lives.
  __lsan_register_root_region(usable_, size_);
#endif
}

ThreadStack::~ThreadStack() {
#if defined(__SANITIZE_ADDRESS__)
  // A thread's last frames never returned, so their red zones are still poisoned; memory
  // mapped at this address later must not inherit them.
  __asan_unpoison_memory_region(usable_, size_);
  __lsan_unregister_root_region(usable_, size_);
#endif
  munmap(mapping_, mapped_);
}

}  // namespace winsim
