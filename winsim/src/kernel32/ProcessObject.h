// The kernel object of a process: signalled once the process has ended.
#pragma once

#include "core/Object.h"

namespace winsim {

class Process;

class ProcessObject : public Object {
 public:
  explicit ProcessObject(Process *p) : process(p) {}
  ObjectType type() const override { return ObjectType::Process; }
  std::string describe() const override;
  bool waitable() const override { return true; }
  bool signalled(const SimThread &) const override { return ended; }

  Process *process;
  bool ended = false;
};

}  // namespace winsim
