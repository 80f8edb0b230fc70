// A mutex: owned by one thread at a time, recursively; a mutex whose owner ends is abandoned
// and the next thread that takes it learns so through WAIT_ABANDONED.
#pragma once

#include "core/Object.h"
#include "core/SimThread.h"

namespace winsim {

class MutexObject : public Object {
 public:
  ObjectType type() const override { return ObjectType::Mutex; }
  std::string describe() const override {
    return name.empty() ? "mutex (unnamed)" : "mutex \"" + name + "\"";
  }
  bool waitable() const override { return true; }
  bool signalled(const SimThread &thread) const override {
    return owner == nullptr || owner == &thread;
  }
  DWORD take(SimThread &thread) override {
    if (owner != &thread) thread.owned_mutexes.push_back(shared_from_this());
    owner = &thread;
    ++count;
    if (abandoned) {
      abandoned = false;
      return 0x80;  // WAIT_ABANDONED
    }
    return 0;
  }

  SimThread *owner = nullptr;
  unsigned count = 0;
  bool abandoned = false;
};

}  // namespace winsim
