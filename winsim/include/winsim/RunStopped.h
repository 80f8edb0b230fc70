// Thrown on the host thread when the world stops a run: every simulated thread is blocked
// with no deadline (deadlock), one thread runs without ever blocking (busy loop), a process
// would not have memory of its own (isolation: a second process of a program that lives in the
// host's image, or a program image that cannot be loaded), a program did what Windows would
// punish at once or at random, such as using memory a library took back (program fault), or a
// program asked for something winsim does not simulate.
#pragma once

#include <stdexcept>
#include <string>

namespace winsim {

class RunStopped : public std::runtime_error {
 public:
  enum class Reason { Deadlock, BusyLoop, Isolation, ProgramFault, NotSimulated };
  RunStopped(Reason reason, const std::string &report)
      : std::runtime_error(report), reason_(reason) {}
  Reason reason() const { return reason_; }

 private:
  Reason reason_;
};

}  // namespace winsim
