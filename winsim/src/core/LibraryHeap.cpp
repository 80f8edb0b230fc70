#include "winsim/LibraryHeap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/FaultSignal.h"
#include "core/Scheduler.h"
#include "core/SimThread.h"
#include "winsim/StandIn.h"
#include "winsim/World.h"

namespace winsim {
namespace {

// The heap of the world that exists now (one world at a time).
LibraryHeap *g_heap = nullptr;

std::string seconds_text(std::uint64_t ms) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%llu.%03llu s", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000));
  return buf;
}

std::string hex_text(std::size_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%zX", value);
  return buf;
}

std::size_t page_size() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

// Runs on the thread that touched a block taken back, in ordinary context: the fault handler
// has returned into this function, so it may allocate and take the scheduler's path of a
// stopped run. It never returns; the thread never runs again.
[[noreturn]] void stop_for_access(const unsigned char *address, long write) {
  const LibraryHeap::Block *block = g_heap->taken_back_block(address);
  std::string what = std::string(write ? "wrote" : "read") + " byte " +
                     hex_text(static_cast<std::size_t>(address - block->start)) + " of " +
                     block->what + " after " + block->taken_back_by + " took it back at " +
                     seconds_text(block->taken_back_at);
  SimThread *thread = current_thread();
  if (thread == nullptr || thread->host) {
    // Not a program's thread: there is no run to stop and no frame to unwind into.
    std::fprintf(stderr, "winsim: a thread outside the programs %s\n", what.c_str());
    std::abort();
  }
  program_fault(what);
}

// The access is replayed as a call of stop_for_access(address, write) on the thread's own
// stack, below the faulting frame and its red zone. Only async-signal-safe work here: look the
// address up (the faulting thread is the only one of the world running, so the heap does not
// change meanwhile) and redirect the thread.
bool access_to_taken_back_block(const siginfo_t &info, ucontext_t &context) {
  if (g_heap == nullptr || g_heap->taken_back_block(info.si_addr) == nullptr) return false;
  greg_t *regs = context.uc_mcontext.gregs;
  auto below_frame = static_cast<std::uintptr_t>(regs[REG_RSP]) - 128 - 256;
  resume_in_call(context, below_frame, reinterpret_cast<void (*)()>(&stop_for_access),
                 reinterpret_cast<std::uintptr_t>(info.si_addr),
                 (regs[REG_ERR] & 2) != 0);  // the page fault's write bit
  return true;
}

}  // namespace

LibraryHeap &LibraryHeap::of(World &world) {
  return world.part<LibraryHeap>();
}

LibraryHeap::LibraryHeap() {
  g_heap = this;
}

LibraryHeap::~LibraryHeap() {
  if (g_heap == this) g_heap = nullptr;
  for (const Block &b : blocks_) munmap(b.start, b.mapped);
}

void *LibraryHeap::allocate(std::size_t size, std::string what) {
  add_fault_check(&access_to_taken_back_block);
  std::size_t pages = size == 0 ? 1 : (size + page_size() - 1) / page_size();
  Block b;
  b.mapped = pages * page_size();
  void *start = mmap(nullptr, b.mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) {
    std::fprintf(stderr, "winsim: no memory for %s\n", what.c_str());
    std::abort();
  }
  b.start = static_cast<unsigned char *>(start);
  b.what = std::move(what);
  blocks_.push_back(std::move(b));
  return start;
}

void LibraryHeap::release(void *block, const char *by) {
  check_held(block, by);
  for (Block &b : blocks_)
    if (b.start == block) {
      mprotect(b.start, b.mapped, PROT_NONE);
      b.taken_back = true;
      b.taken_back_at = World::get().now();
      b.taken_back_by = by;
    }
}

void LibraryHeap::check_held(const void *block, const char *call) const {
  const Block *b = find_start(block);
  if (b == nullptr)
    program_fault(std::string("passed ") + call +
                  " a pointer that is not the start of a block the library handed out");
  if (b->taken_back)
    program_fault(std::string("passed ") + b->what + " to " + call + " after " + b->taken_back_by +
                  " took it back at " + seconds_text(b->taken_back_at));
}

std::size_t LibraryHeap::held() const {
  std::size_t count = 0;
  for (const Block &b : blocks_)
    if (!b.taken_back) ++count;
  return count;
}

const LibraryHeap::Block *LibraryHeap::taken_back_block(const void *address) const {
  auto *p = static_cast<const unsigned char *>(address);
  for (const Block &b : blocks_)
    if (b.taken_back && p >= b.start && p < b.start + b.mapped) return &b;
  return nullptr;
}

const LibraryHeap::Block *LibraryHeap::find_start(const void *block) const {
  for (const Block &b : blocks_)
    if (b.start == block) return &b;
  return nullptr;
}

}  // namespace winsim
