// A process's console: what the process writes to it becomes its console output and a
// "stdout" record of the trace.
#pragma once

#include "core/Object.h"

namespace winsim {

class ConsoleObject : public Object {
 public:
  ObjectType type() const override { return ObjectType::Console; }
  std::string describe() const override { return "console"; }
};

}  // namespace winsim
