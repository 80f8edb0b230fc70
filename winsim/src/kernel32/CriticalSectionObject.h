// The lock state behind a program's CRITICAL_SECTION record: owned by one thread at a time,
// recursively; waiters are served in arrival order.
#pragma once

#include "core/Object.h"
#include "core/SimThread.h"

namespace winsim {

class CriticalSectionObject : public Object {
 public:
  explicit CriticalSectionObject(unsigned number) : serial(number) {}
  ObjectType type() const override { return ObjectType::CriticalSection; }
  std::string describe() const override { return "critical section #" + std::to_string(serial); }
  bool waitable() const override { return true; }
  bool signalled(const SimThread &thread) const override {
    return owner == 0 || owner == thread.tid;
  }
  DWORD take(SimThread &thread) override {
    owner = thread.tid;
    ++count;
    return 0;
  }

  unsigned serial;
  // The owner's thread id, 0 for none. Ids are never given twice in a world, so a lock still
  // held by a thread that has ended is never taken for another thread's.
  std::uint32_t owner = 0;
  unsigned count = 0;
};

}  // namespace winsim
