// The kernel object of a thread: signalled once the thread has ended.
#pragma once

#include "core/Object.h"
#include "core/SimThread.h"

namespace winsim {

class ThreadObject : public Object {
 public:
  ThreadObject() = default;
  ObjectType type() const override { return ObjectType::Thread; }
  std::string describe() const override { return "thread " + std::to_string(tid); }
  bool waitable() const override { return true; }
  bool signalled(const SimThread &) const override { return ended; }

  std::uint32_t tid = 0;
  bool ended = false;
  DWORD exit_code = 259;  // STILL_ACTIVE
};

}  // namespace winsim
