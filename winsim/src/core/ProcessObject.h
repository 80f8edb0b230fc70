// The kernel object of a process: signalled once the process has ended. Handles to it may
// outlive the process, so it keeps what they can still ask: the id, the image and the exit
// code.
#pragma once

#include <cstdint>
#include <string>

#include "core/Object.h"

namespace winsim {

class Process;

class ProcessObject : public Object {
 public:
  ProcessObject(Process *p, std::uint32_t id, std::string image)
      : process(p), pid(id), image_name(std::move(image)) {}
  ObjectType type() const override { return ObjectType::Process; }
  std::string describe() const override {
    return "process " + std::to_string(pid) + " (" + image_name + ")";
  }
  bool waitable() const override { return true; }
  bool signalled(const SimThread &) const override { return ended; }

  Process *process;  // null once the process has ended
  std::uint32_t pid;
  std::string image_name;
  bool ended = false;
  DWORD exit_code = 259;  // STILL_ACTIVE
};

}  // namespace winsim
